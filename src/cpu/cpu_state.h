// The one emulated 6502: registers, flags, the 64 KiB memory image, the
// per-opcode base cycle table, the store traps and the machine's bus, in one
// thread-local structure whose layout is fixed here.
//
// Where the loop's data lies decides how fast it runs, beyond the host
// instructions it executes: a load whose address equals that of a store
// still in flight in its low 12 bits (another 4 KiB page) is held back on
// many x86 cores until the store's full address is known ("4 KiB aliasing"),
// and the L1 cache's sets are chosen by the same bits. So the structure is
// page-aligned and the image starts it: emulated address A lies at page
// offset A & $FFF, the same in every build and every run. The data that the
// loop reads per instruction or per store is placed at page offsets that
// the pages tunes store into most do not use: page zero and the stack page
// (offsets $000-$1FF) and the sound chip's page $D4 (offset $400-$4FF):
//   $10200  registers, flags, cycle total         (page offset $200)
//   $10500  the machine's bus (page table, cycles) ($500-$D2F)
//   $10E00  the store traps                        ($E00)
//   $10F00  the cycle table                        ($F00)
// The static_asserts below keep it so.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr size_t kMemorySize = 65536;
// Bytes after the image that hold an undocumented opcode: an instruction that
// runs on past $FFFF fetches one of them next, and the execution loop then
// continues at the wrapped address.
inline constexpr size_t kGuardBytes = 3;
inline constexpr uint8_t kGuardOpcode = 0x02;

// The processor's side of a machine around it (cpu/bus.h says how the
// machine variant of the loop uses it).
struct CpuBus {
    const uint8_t* readPage[256];
    uint8_t (*ioRead)(uint16_t address);
    void (*ioWrite)(uint16_t address, uint8_t value);
    void (*portWrite)();
    uint64_t now;        // the cycle of the access under way: the instruction's end
    uint64_t nextEvent;  // the loop stops after the instruction that reaches it
    uint64_t limit;      // an instruction that would end past it is not run
    bool limitIsBudget;  // the limit is the run's budget (else the 32-bit one)
    bool irqLine;        // the IRQ input is asserted
    bool irqHeld;        // CLI or PLP just cleared I: no IRQ before the next instruction
    uint64_t fetchAt;    // the cycle of the running instruction's opcode fetch
};

struct alignas(4096) CpuState {
    std::array<uint8_t, kMemorySize + kGuardBytes> memory;
    alignas(512) uint16_t pc;
    uint8_t a, x, y, sp;
    uint8_t n, v, b, d, i, z, c;                       // each 0 or 1
    uint32_t cycleTotal;                               // cycles charged in the current cpuRun call
    uint8_t undocumented;                              // 1: the undocumented opcodes are executed
    uint8_t unused[0x200];                             // past page offset $400 (page $D4's)
    alignas(256) CpuBus bus;                           // the machine's; see cpu/bus.h
    alignas(256) std::array<uint8_t, 256> storeTraps;  // see kTrapHook below
    std::array<uint8_t, 256> opcodeCycles;
};

static_assert(offsetof(CpuState, memory) == 0);
static_assert(offsetof(CpuState, pc) == 0x10200);
static_assert(offsetof(CpuState, bus) == 0x10500);
static_assert(offsetof(CpuState, storeTraps) == 0x10E00);
static_assert(offsetof(CpuState, opcodeCycles) == 0x10F00);
static_assert(sizeof(CpuState) == 0x11000);

extern thread_local constinit CpuState cpu;

// Per page of memory, what a store there has to do besides storing the byte;
// 0 for most pages, so that a store's common path is one test.
inline constexpr uint8_t kTrapHook = 1;         // the store hook wants to see it
inline constexpr uint8_t kTrapWatch = 4;        // the loop watchdog wants a copy first
inline constexpr uint8_t kTrapFingerprint = 8;  // the state's fingerprint wants to know

// Called with every store into a hooked page, before the byte is stored;
// cpu.cycleTotal holds the store's time stamp. Stack pushes are not stores.
using StoreHook = void (*)(void* context, uint16_t address, uint8_t value);

// Sets the hook and what it is given; the reset forgets them and every hooked page.
void cpuSetStoreHook(StoreHook hook, void* context);
void cpuHookPage(uint8_t page);

// What a store into a page with a trap does before the byte is stored.
void cpuStoreTrapped(uint16_t address, uint8_t value);
// The same for a stack push, which no hook sees.
void cpuPushTrapped(uint16_t address);

// Results of cpuRun.
inline constexpr int kRunStepsDone = 0;   // the requested number of instructions ran
inline constexpr int kRunReachedBrk = 1;  // opcode $00 fetched; pc is on it
inline constexpr int kRunStopped = 2;     // the watchdog ended the routine call (or a JAM)

// Base cycles of the documented NMOS opcodes, 0 for the others.
// Rows are the high nibble of the opcode, columns the low nibble.
inline constexpr std::array<uint8_t, 256> kBaseCycles = {
    // 0 1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    7, 6, 0, 0, 0, 3, 5, 0, 3, 2, 2, 0, 0, 4, 6, 0,  // 0
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // 1
    6, 6, 0, 0, 3, 3, 5, 0, 4, 2, 2, 0, 4, 4, 6, 0,  // 2
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // 3
    6, 6, 0, 0, 0, 3, 5, 0, 3, 2, 2, 0, 3, 4, 6, 0,  // 4
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // 5
    6, 6, 0, 0, 0, 3, 5, 0, 4, 2, 2, 0, 5, 4, 6, 0,  // 6
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // 7
    0, 6, 0, 0, 3, 3, 3, 0, 2, 0, 2, 0, 4, 4, 4, 0,  // 8
    2, 6, 0, 0, 4, 4, 4, 0, 2, 5, 2, 0, 0, 5, 0, 0,  // 9
    2, 6, 2, 0, 3, 3, 3, 0, 2, 2, 2, 0, 4, 4, 4, 0,  // A
    2, 5, 0, 0, 4, 4, 4, 0, 2, 4, 2, 0, 4, 4, 4, 0,  // B
    2, 6, 0, 0, 3, 3, 5, 0, 2, 2, 2, 0, 4, 4, 6, 0,  // C
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // D
    2, 6, 0, 0, 3, 3, 5, 0, 2, 2, 2, 0, 4, 4, 6, 0,  // E
    2, 5, 0, 0, 0, 4, 6, 0, 2, 4, 0, 0, 0, 4, 7, 0,  // F
};

// Base cycles of every opcode the NMOS 6502 executes, the undocumented ones
// included; 0 for the twelve that stop the processor (JAM). The documented
// opcodes have their kBaseCycles counts.
inline constexpr std::array<uint8_t, 256> kAllCycles = {
    // 0 1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    7, 6, 0, 8, 3, 3, 5, 5, 3, 2, 2, 2, 4, 4, 6, 6,  // 0
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 1
    6, 6, 0, 8, 3, 3, 5, 5, 4, 2, 2, 2, 4, 4, 6, 6,  // 2
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 3
    6, 6, 0, 8, 3, 3, 5, 5, 3, 2, 2, 2, 3, 4, 6, 6,  // 4
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 5
    6, 6, 0, 8, 3, 3, 5, 5, 4, 2, 2, 2, 5, 4, 6, 6,  // 6
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 7
    2, 6, 2, 6, 3, 3, 3, 3, 2, 2, 2, 2, 4, 4, 4, 4,  // 8
    2, 6, 0, 6, 4, 4, 4, 4, 2, 5, 2, 5, 5, 5, 5, 5,  // 9
    2, 6, 2, 6, 3, 3, 3, 3, 2, 2, 2, 2, 4, 4, 4, 4,  // A
    2, 5, 0, 5, 4, 4, 4, 4, 2, 4, 2, 4, 4, 4, 4, 4,  // B
    2, 6, 2, 8, 3, 3, 5, 5, 2, 2, 2, 2, 4, 4, 6, 6,  // C
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // D
    2, 6, 2, 8, 3, 3, 5, 5, 2, 2, 2, 2, 4, 4, 6, 6,  // E
    2, 5, 0, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // F
};

// True for the twelve opcodes that stop an NMOS 6502 (JAM).
inline constexpr bool isJamOpcode(uint8_t opcode) {
    return (opcode & 0x0F) == 0x02 && opcode != 0x82 && opcode != 0xA2 && opcode != 0xC2 &&
           opcode != 0xE2;
}

void cpuReset();

// From now until the next reset, the CPU executes the undocumented opcodes
// too (opcodeCycles gets their counts), or ends the call at one (the reset's
// choice).
void cpuSetUndocumented(bool on);
uint8_t* cpuMemory();
void cpuLoad(const uint8_t* source, uint16_t address, uint16_t length);
void cpuSetPc(uint16_t address);
uint16_t cpuPc();

// Flags packed as N V 0 B D I Z C, as PHP pushes them.
uint8_t statusByte();
// Unpacks a pulled status byte into the flags; bit 5 is ignored.
void setStatusByte(uint8_t status);

// Runs until opcode $00 is fetched (stepCount 0) or at most stepCount
// instructions; see the kRun* results.
int cpuRun(uint16_t stepCount);
