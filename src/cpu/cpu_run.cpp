// The execution loop: fetch, charge the base cycles, dispatch.
#include <cstdint>
#include <type_traits>

#include "cpu/bus.h"
#include "cpu/core.h"
#include "cpu/cpu_state.h"
#include "cpu/instructions.h"
#include "cpu/watchdog.h"

namespace {

// The extra cycles of a taken branch from `from` to `to`.
inline unsigned branchCycles(uint16_t from, uint16_t to) {
    return ((static_cast<unsigned>(from + 2) ^ to) & 0xFF00u) != 0 ? 2u : 1u;
}

// Every instruction that can move pc anywhere but forward ends with this,
// given its own address: a backward move is where a loop can close. When the
// trigger says so, the loop stops and cpuRun lets the watchdog look at the
// state and at the cycle limit, then goes on (in the careful loop once the
// limit is near), so that the loop itself never checks the limit per
// instruction far from it.
#if VOXDUMP_WATCHDOG
#define CONTROL_TRANSFER(from)                                                           \
    if (k.pc <= (from) && watchdogWorthChecking(trigger, k.cycles, k.pc, k.x, k.y, k.a)) \
        [[unlikely]] {                                                                   \
        if constexpr (Stepping) --stepCount; /* this instruction is done */              \
        result = kRunCheck;                                                              \
        goto done;                                                                       \
    }
#else
#define CONTROL_TRANSFER(from) (void)(from)
#endif

// The machine variant charges a taken branch one cycle more, and one more
// again when its target lies on another page than the next instruction.
#define BRANCH_IF(condition)                                                                \
    if (condition) {                                                                        \
        const uint16_t from = static_cast<uint16_t>(k.pc);                                  \
        k.pc = static_cast<uint16_t>(from + 2 + static_cast<int8_t>(operandByte(k, m)));    \
        if constexpr (Machine) k.cycles += branchCycles(from, static_cast<uint16_t>(k.pc)); \
        CONTROL_TRANSFER(from);                                                             \
    } else {                                                                                \
        k.pc += 2;                                                                          \
    }                                                                                       \
    break

// NOP abs,X: the machine charges the page crossing of its (unused) read.
#define NOP_ABSOLUTE_X()                                                     \
    if constexpr (Machine) {                                                 \
        const uint16_t base = operandWord(k, m);                             \
        if ((static_cast<uint16_t>(base + k.x) ^ base) & 0xFF00) ++k.cycles; \
    }                                                                        \
    k.pc += 3

// The machine variant stops after RTI when it lets a waiting IRQ in, so
// that it is taken before the next instruction.
#define LET_IRQ_IN()                             \
    if constexpr (Machine) {                     \
        if (!k.i && bus.irqLine) {               \
            if constexpr (Stepping) --stepCount; \
            result = kRunEvent;                  \
            goto done;                           \
        }                                        \
    }

// CLI and PLP change the I flag after the 6502 has polled its interrupt
// inputs for the next instruction: a waiting IRQ is taken after the
// instruction that follows them. The machine variant holds interrupts back
// for that one instruction and stops after it.
#define LET_IRQ_IN_AFTER_NEXT()                                             \
    if constexpr (Machine) {                                                \
        if (!k.i) {                                                         \
            bus.irqHeld = true;                                             \
            if (bus.nextEvent > k.cycles + 1) bus.nextEvent = k.cycles + 1; \
        }                                                                   \
    }

// The loop stopped for the watchdog to look at the state (cpuRun calls it
// outside the loop, so that the loop's registers never have to survive a call
// there) and is to go on afterwards.
constexpr int kRunCheck = 3;

// A documented opcode's case. The careful loop has charged the cycles from
// opcodeCycles already, to check the limit first; elsewhere each case adds
// its own count (the same value: kAllCycles, which opcodeCycles is filled
// from, agrees with kBaseCycles on every documented opcode), which keeps the
// table's address out of the loop's registers.
#define OPCODE(value) \
    case value:       \
        if constexpr (!Careful) k.cycles += kAllCycles[value];

// The opcode is not executed: it would be fetched again for ever.
#define NOT_EXECUTED()                                                                         \
    {                                                                                          \
        if (k.pc > 0xFFFF) {                                                                   \
            /* Execution ran on past $FFFF into the guard bytes: it continues at */            \
            /* $0000, which is a move backward. */                                             \
            k.pc -= 0x10000;                                                                   \
            CONTROL_TRANSFER(0xFFFF);                                                          \
            continue;                                                                          \
        }                                                                                      \
        watchdogStop(StopReason::NotExecuted, static_cast<uint16_t>(k.pc), readByte(m, k.pc)); \
        result = kRunStopped;                                                                  \
        goto done;                                                                             \
    }

// An undocumented opcode's case: only the loop that executes them gets past
// its first line.
#define UNDOCUMENTED(value)                          \
    case value:                                      \
        if constexpr (!Undocumented) NOT_EXECUTED(); \
        if constexpr (!Careful) k.cycles += kAllCycles[value];

// The seven forms of SLO, RLA, SRE, RRA, DCP and ISC, from their row's base.
#define MODIFY_THEN(row, Op, Then)                                                  \
    UNDOCUMENTED(row + 0x07) modifyThen<Op, Then>(addrZeroPage(k, m), k, m);        \
    break;                                                                          \
    UNDOCUMENTED(row + 0x17) modifyThen<Op, Then>(addrZeroPageX(k, m), k, m);       \
    break;                                                                          \
    UNDOCUMENTED(row + 0x0F) modifyThen<Op, Then>(addrAbsolute(k, m), k, m);        \
    break;                                                                          \
    UNDOCUMENTED(row + 0x1F) modifyThen<Op, Then>(addrAbsoluteX(k, m), k, m);       \
    break;                                                                          \
    UNDOCUMENTED(row + 0x1B) modifyThen<Op, Then>(addrAbsoluteY(k, m), k, m);       \
    break;                                                                          \
    UNDOCUMENTED(row + 0x03) modifyThen<Op, Then>(addrIndexedIndirect(k, m), k, m); \
    break;                                                                          \
    UNDOCUMENTED(row + 0x13) modifyThen<Op, Then>(addrIndirectIndexed(k, m), k, m); \
    break;

// In the machine variant (Machine), every read goes through the machine's
// page table and every store to RAM or to its chips; the loop counts the
// machine's cycles, checks the limit before each instruction and stops after
// the instruction that reaches the next event. It is always careful.
//
// Each loop starts on a 64-byte boundary, so that where its branches and its
// dispatch lie relative to the host's 32- and 64-byte fetch blocks depends on
// this file alone, not on the size of the code linked before it (the build
// also keeps this file's branches from crossing or ending on a 32-byte
// boundary, see CMakeLists.txt).
template <bool Stepping, bool Careful, bool Undocumented, bool Machine = false>
[[gnu::aligned(64)]] int runLoop(uint16_t stepCount, uint64_t cyclesSoFar, uint16_t& stepsLeft) {
    static_assert(Careful || !Machine);
    cpu.cycleTotal = static_cast<uint32_t>(cyclesSoFar);
    Core k;
    loadCore(k);
    CpuBus& bus = cpu.bus;  // its thread's address taken once
    if constexpr (Machine) k.cycles = bus.now;
    using Memory = std::conditional_t<Machine, MachineMemory, uint8_t*>;
    Memory m;
    if constexpr (Machine) {
        m = {cpu.memory.data(), bus.readPage};
    } else {
        m = cpu.memory.data();
    }
    const uint8_t* const cycles = cpu.opcodeCycles.data();
#if VOXDUMP_WATCHDOG
    const uint64_t budget = watchdog.cycleLimit - watchdog.routineCycles;
    const WatchdogTrigger trigger = watchdogTrigger();
#endif
    int result;

    for (;;) {
        const uint8_t opcode = readByte(m, k.pc);
        if constexpr (Machine) {
            if (k.cycles + cycles[opcode] > bus.limit) [[unlikely]] {
                watchdogStop(bus.limitIsBudget ? StopReason::CycleBudget : StopReason::CycleLimit,
                             static_cast<uint16_t>(k.pc), opcode);
                result = kRunStopped;
                goto done;
            }
        }
#if VOXDUMP_WATCHDOG
        if constexpr (Careful && !Machine) {
            if (k.cycles + cycles[opcode] > budget) [[unlikely]] {
                watchdogStop(watchdog.cycleLimit < kCycleLimit ? StopReason::CycleBudget
                                                               : StopReason::CycleLimit,
                             static_cast<uint16_t>(k.pc), opcode);
                result = kRunStopped;
                goto done;
            }
        }
#endif
        if constexpr (Machine) bus.fetchAt = k.cycles;
        if constexpr (Careful) k.cycles += cycles[opcode];
        if constexpr (Machine) {
            bus.now = k.cycles;
            bus.irqHeld = false;  // held back for one instruction at most
        }

        // clang-format off
        switch (opcode) {
            OPCODE(0x00)
                if constexpr (Machine) {  // BRK: the break flag set, through ($FFFE)
                    const uint16_t next = static_cast<uint16_t>(k.pc + 2);
                    stackPush(k, m, static_cast<uint8_t>(next >> 8));
                    stackPush(k, m, static_cast<uint8_t>(next));
                    stackPush(k, m, static_cast<uint8_t>(packStatus(k) | 0x30));
                    k.i = 1;
                    k.pc = static_cast<uint16_t>(readByte(m, 0xFFFE) | readByte(m, 0xFFFF) << 8);
                    break;
                }
                result = kRunReachedBrk; goto done;

            // Loads
            OPCODE(0xA9) setNZ(k, k.a = fetchImmediate(k, m)); break;
            OPCODE(0xA5) setNZ(k, k.a = fetchZeroPage(k, m)); break;
            OPCODE(0xB5) setNZ(k, k.a = fetchZeroPageX(k, m)); break;
            OPCODE(0xAD) setNZ(k, k.a = fetchAbsolute(k, m)); break;
            OPCODE(0xBD) setNZ(k, k.a = fetchAbsoluteX(k, m)); break;
            OPCODE(0xB9) setNZ(k, k.a = fetchAbsoluteY(k, m)); break;
            OPCODE(0xA1) setNZ(k, k.a = fetchIndexedIndirect(k, m)); break;
            OPCODE(0xB1) setNZ(k, k.a = fetchIndirectIndexed(k, m)); break;
            OPCODE(0xA2) setNZ(k, k.x = fetchImmediate(k, m)); break;
            OPCODE(0xA6) setNZ(k, k.x = fetchZeroPage(k, m)); break;
            OPCODE(0xB6) setNZ(k, k.x = fetchZeroPageY(k, m)); break;
            OPCODE(0xAE) setNZ(k, k.x = fetchAbsolute(k, m)); break;
            OPCODE(0xBE) setNZ(k, k.x = fetchAbsoluteY(k, m)); break;
            OPCODE(0xA0) setNZ(k, k.y = fetchImmediate(k, m)); break;
            OPCODE(0xA4) setNZ(k, k.y = fetchZeroPage(k, m)); break;
            OPCODE(0xB4) setNZ(k, k.y = fetchZeroPageX(k, m)); break;
            OPCODE(0xAC) setNZ(k, k.y = fetchAbsolute(k, m)); break;
            OPCODE(0xBC) setNZ(k, k.y = fetchAbsoluteX(k, m)); break;

            // Stores
            OPCODE(0x85) store(k, m, addrZeroPage(k, m), k.a); break;
            OPCODE(0x95) store(k, m, addrZeroPageX(k, m), k.a); break;
            OPCODE(0x8D) store(k, m, addrAbsolute(k, m), k.a); break;
            OPCODE(0x9D) store(k, m, addrAbsoluteX(k, m), k.a); break;
            OPCODE(0x99) store(k, m, addrAbsoluteY(k, m), k.a); break;
            OPCODE(0x81) store(k, m, addrIndexedIndirect(k, m), k.a); break;
            OPCODE(0x91) store(k, m, addrIndirectIndexed(k, m), k.a); break;
            OPCODE(0x86) store(k, m, addrZeroPage(k, m), k.x); break;
            OPCODE(0x96) store(k, m, addrZeroPageY(k, m), k.x); break;
            OPCODE(0x8E) store(k, m, addrAbsolute(k, m), k.x); break;
            OPCODE(0x84) store(k, m, addrZeroPage(k, m), k.y); break;
            OPCODE(0x94) store(k, m, addrZeroPageX(k, m), k.y); break;
            OPCODE(0x8C) store(k, m, addrAbsolute(k, m), k.y); break;

            // Transfers
            OPCODE(0xAA) setNZ(k, k.x = k.a); ++k.pc; break;
            OPCODE(0xA8) setNZ(k, k.y = k.a); ++k.pc; break;
            OPCODE(0x8A) setNZ(k, k.a = k.x); ++k.pc; break;
            OPCODE(0x98) setNZ(k, k.a = k.y); ++k.pc; break;
            OPCODE(0xBA) setNZ(k, k.x = k.sp); ++k.pc; break;
            OPCODE(0x9A) k.sp = k.x; ++k.pc; break;

            // Stack
            OPCODE(0x48) stackPush(k, m, k.a); ++k.pc; break;
            OPCODE(0x08) stackPush(k, m, packStatus(k)); ++k.pc; break;
            OPCODE(0x68) setNZ(k, k.a = stackPull(k, m)); ++k.pc; break;
            OPCODE(0x28) unpackStatus(k, stackPull(k, m)); ++k.pc; LET_IRQ_IN_AFTER_NEXT(); break;

            // Logic
            OPCODE(0x29) setNZ(k, k.a &= fetchImmediate(k, m)); break;
            OPCODE(0x25) setNZ(k, k.a &= fetchZeroPage(k, m)); break;
            OPCODE(0x35) setNZ(k, k.a &= fetchZeroPageX(k, m)); break;
            OPCODE(0x2D) setNZ(k, k.a &= fetchAbsolute(k, m)); break;
            OPCODE(0x3D) setNZ(k, k.a &= fetchAbsoluteX(k, m)); break;
            OPCODE(0x39) setNZ(k, k.a &= fetchAbsoluteY(k, m)); break;
            OPCODE(0x21) setNZ(k, k.a &= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x31) setNZ(k, k.a &= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x09) setNZ(k, k.a |= fetchImmediate(k, m)); break;
            OPCODE(0x05) setNZ(k, k.a |= fetchZeroPage(k, m)); break;
            OPCODE(0x15) setNZ(k, k.a |= fetchZeroPageX(k, m)); break;
            OPCODE(0x0D) setNZ(k, k.a |= fetchAbsolute(k, m)); break;
            OPCODE(0x1D) setNZ(k, k.a |= fetchAbsoluteX(k, m)); break;
            OPCODE(0x19) setNZ(k, k.a |= fetchAbsoluteY(k, m)); break;
            OPCODE(0x01) setNZ(k, k.a |= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x11) setNZ(k, k.a |= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x49) setNZ(k, k.a ^= fetchImmediate(k, m)); break;
            OPCODE(0x45) setNZ(k, k.a ^= fetchZeroPage(k, m)); break;
            OPCODE(0x55) setNZ(k, k.a ^= fetchZeroPageX(k, m)); break;
            OPCODE(0x4D) setNZ(k, k.a ^= fetchAbsolute(k, m)); break;
            OPCODE(0x5D) setNZ(k, k.a ^= fetchAbsoluteX(k, m)); break;
            OPCODE(0x59) setNZ(k, k.a ^= fetchAbsoluteY(k, m)); break;
            OPCODE(0x41) setNZ(k, k.a ^= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x51) setNZ(k, k.a ^= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x24) bit(k, fetchZeroPage(k, m)); break;
            OPCODE(0x2C) bit(k, fetchAbsolute(k, m)); break;

            // Arithmetic
            OPCODE(0x69) adc(k, fetchImmediate(k, m)); break;
            OPCODE(0x65) adc(k, fetchZeroPage(k, m)); break;
            OPCODE(0x75) adc(k, fetchZeroPageX(k, m)); break;
            OPCODE(0x6D) adc(k, fetchAbsolute(k, m)); break;
            OPCODE(0x7D) adc(k, fetchAbsoluteX(k, m)); break;
            OPCODE(0x79) adc(k, fetchAbsoluteY(k, m)); break;
            OPCODE(0x61) adc(k, fetchIndexedIndirect(k, m)); break;
            OPCODE(0x71) adc(k, fetchIndirectIndexed(k, m)); break;
            OPCODE(0xE9) sbc(k, fetchImmediate(k, m)); break;
            OPCODE(0xE5) sbc(k, fetchZeroPage(k, m)); break;
            OPCODE(0xF5) sbc(k, fetchZeroPageX(k, m)); break;
            OPCODE(0xED) sbc(k, fetchAbsolute(k, m)); break;
            OPCODE(0xFD) sbc(k, fetchAbsoluteX(k, m)); break;
            OPCODE(0xF9) sbc(k, fetchAbsoluteY(k, m)); break;
            OPCODE(0xE1) sbc(k, fetchIndexedIndirect(k, m)); break;
            OPCODE(0xF1) sbc(k, fetchIndirectIndexed(k, m)); break;

            // Compares
            OPCODE(0xC9) compare(k, k.a, fetchImmediate(k, m)); break;
            OPCODE(0xC5) compare(k, k.a, fetchZeroPage(k, m)); break;
            OPCODE(0xD5) compare(k, k.a, fetchZeroPageX(k, m)); break;
            OPCODE(0xCD) compare(k, k.a, fetchAbsolute(k, m)); break;
            OPCODE(0xDD) compare(k, k.a, fetchAbsoluteX(k, m)); break;
            OPCODE(0xD9) compare(k, k.a, fetchAbsoluteY(k, m)); break;
            OPCODE(0xC1) compare(k, k.a, fetchIndexedIndirect(k, m)); break;
            OPCODE(0xD1) compare(k, k.a, fetchIndirectIndexed(k, m)); break;
            OPCODE(0xE0) compare(k, k.x, fetchImmediate(k, m)); break;
            OPCODE(0xE4) compare(k, k.x, fetchZeroPage(k, m)); break;
            OPCODE(0xEC) compare(k, k.x, fetchAbsolute(k, m)); break;
            OPCODE(0xC0) compare(k, k.y, fetchImmediate(k, m)); break;
            OPCODE(0xC4) compare(k, k.y, fetchZeroPage(k, m)); break;
            OPCODE(0xCC) compare(k, k.y, fetchAbsolute(k, m)); break;

            // Read-modify-write: one write back, of the new value.
            OPCODE(0x0A) k.a = asl(k, k.a); ++k.pc; break;
            OPCODE(0x06) modifyZeroPage<asl>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x16) modifyZeroPage<asl>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x0E) modifyAbsolute<asl>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x1E) modifyAbsolute<asl>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x4A) k.a = lsr(k, k.a); ++k.pc; break;
            OPCODE(0x46) modifyZeroPage<lsr>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x56) modifyZeroPage<lsr>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x4E) modifyAbsolute<lsr>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x5E) modifyAbsolute<lsr>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x2A) k.a = rol(k, k.a); ++k.pc; break;
            OPCODE(0x26) modifyZeroPage<rol>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x36) modifyZeroPage<rol>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x2E) modifyAbsolute<rol>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x3E) modifyAbsolute<rol>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x6A) k.a = ror(k, k.a); ++k.pc; break;
            OPCODE(0x66) modifyZeroPage<ror>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x76) modifyZeroPage<ror>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x6E) modifyAbsolute<ror>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x7E) modifyAbsolute<ror>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xE6) modifyZeroPage<inc>(addrZeroPage(k, m), k, m); break;
            OPCODE(0xF6) modifyZeroPage<inc>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0xEE) modifyAbsolute<inc>(addrAbsolute(k, m), k, m); break;
            OPCODE(0xFE) modifyAbsolute<inc>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xC6) modifyZeroPage<dec>(addrZeroPage(k, m), k, m); break;
            OPCODE(0xD6) modifyZeroPage<dec>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0xCE) modifyAbsolute<dec>(addrAbsolute(k, m), k, m); break;
            OPCODE(0xDE) modifyAbsolute<dec>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xE8) k.x = inc(k, k.x); ++k.pc; break;
            OPCODE(0xC8) k.y = inc(k, k.y); ++k.pc; break;
            OPCODE(0xCA) k.x = dec(k, k.x); ++k.pc; break;
            OPCODE(0x88) k.y = dec(k, k.y); ++k.pc; break;

            // Branches: base cycles only in the flat loops, taken or not.
            OPCODE(0x10) BRANCH_IF(!flagN(k));
            OPCODE(0x30) BRANCH_IF(flagN(k));
            OPCODE(0x50) BRANCH_IF(!k.v);
            OPCODE(0x70) BRANCH_IF(k.v);
            OPCODE(0x90) BRANCH_IF(!k.c);
            OPCODE(0xB0) BRANCH_IF(k.c);
            OPCODE(0xD0) BRANCH_IF(!flagZ(k));
            OPCODE(0xF0) BRANCH_IF(flagZ(k));

            // Jumps, calls and returns
            OPCODE(0x4C) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                k.pc = operandWord(k, m);
                if constexpr (Machine) {
                    if (k.pc == from) {  // JMP to itself: waits for an interrupt
                        if constexpr (Stepping) --stepCount;
                        result = kRunIdle;
                        goto done;
                    }
                }
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x6C) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint16_t pointer = operandWord(k, m);
                k.pc = static_cast<uint16_t>(readByte(m, pointer) |
                                             readByte(m, static_cast<uint16_t>(pointer + 1)) << 8);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x20) {
                // The return address pushed is that of the JSR's last byte; the
                // target is read after the pushes.
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint16_t last = static_cast<uint16_t>(from + 2);
                stackPush(k, m, static_cast<uint8_t>(last >> 8));
                stackPush(k, m, static_cast<uint8_t>(last));
                k.pc = operandWord(k, m);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x60) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint8_t lo = stackPull(k, m);
                uint8_t hi = stackPull(k, m);
                k.pc = static_cast<uint16_t>((hi << 8 | lo) + 1);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x40) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                unpackStatus(k, stackPull(k, m));
                uint8_t lo = stackPull(k, m);
                uint8_t hi = stackPull(k, m);
                k.pc = static_cast<uint16_t>(hi << 8 | lo);
                LET_IRQ_IN();
                CONTROL_TRANSFER(from);
                break;
            }

            // Flags
            OPCODE(0x18) k.c = 0; ++k.pc; break;
            OPCODE(0x38) k.c = 1; ++k.pc; break;
            OPCODE(0xD8) k.d = 0; ++k.pc; break;
            OPCODE(0xF8) k.d = 1; ++k.pc; break;
            OPCODE(0x58) k.i = 0; ++k.pc; LET_IRQ_IN_AFTER_NEXT(); break;
            OPCODE(0x78) k.i = 1; ++k.pc; break;
            OPCODE(0xB8) k.v = 0; ++k.pc; break;
            OPCODE(0xEA) ++k.pc; break;

            // Undocumented: a read-modify-write, then an operation of A.
            MODIFY_THEN(0x00, asl, ora)   // SLO
            MODIFY_THEN(0x20, rol, andA)  // RLA
            MODIFY_THEN(0x40, lsr, eor)   // SRE
            MODIFY_THEN(0x60, ror, adc)   // RRA
            MODIFY_THEN(0xC0, dec, cmpA)  // DCP
            MODIFY_THEN(0xE0, inc, sbc)   // ISC

            // Undocumented: SAX stores A AND X; LAX loads A and X.
            UNDOCUMENTED(0x87) store(k, m, addrZeroPage(k, m), k.a & k.x); break;
            UNDOCUMENTED(0x97) store(k, m, addrZeroPageY(k, m), k.a & k.x); break;
            UNDOCUMENTED(0x8F) store(k, m, addrAbsolute(k, m), k.a & k.x); break;
            UNDOCUMENTED(0x83) store(k, m, addrIndexedIndirect(k, m), k.a & k.x); break;
            UNDOCUMENTED(0xA7) setNZ(k, k.a = k.x = fetchZeroPage(k, m)); break;
            UNDOCUMENTED(0xB7) setNZ(k, k.a = k.x = fetchZeroPageY(k, m)); break;
            UNDOCUMENTED(0xAF) setNZ(k, k.a = k.x = fetchAbsolute(k, m)); break;
            UNDOCUMENTED(0xBF) setNZ(k, k.a = k.x = fetchAbsoluteY(k, m)); break;
            UNDOCUMENTED(0xA3) setNZ(k, k.a = k.x = fetchIndexedIndirect(k, m)); break;
            UNDOCUMENTED(0xB3) setNZ(k, k.a = k.x = fetchIndirectIndexed(k, m)); break;

            // Undocumented: immediate operations.
            UNDOCUMENTED(0x0B) setNZ(k, k.a &= fetchImmediate(k, m)); k.c = k.a >> 7; break;  // ANC
            UNDOCUMENTED(0x2B) setNZ(k, k.a &= fetchImmediate(k, m)); k.c = k.a >> 7; break;  // ANC
            UNDOCUMENTED(0x4B) k.a &= fetchImmediate(k, m); k.a = lsr(k, k.a); break;         // ALR
            UNDOCUMENTED(0x6B) arr(k, fetchImmediate(k, m)); break;
            UNDOCUMENTED(0xCB) {  // SBX
                const uint8_t value = fetchImmediate(k, m);
                const uint8_t both = k.a & k.x;
                k.c = both >= value;
                setNZ(k, k.x = static_cast<uint8_t>(both - value));
                break;
            }
            UNDOCUMENTED(0xEB) sbc(k, fetchImmediate(k, m)); break;
            UNDOCUMENTED(0x8B) setNZ(k, k.a = (k.a | 0xEE) & k.x & fetchImmediate(k, m)); break;  // ANE
            UNDOCUMENTED(0xAB) setNZ(k, k.a = k.x = (k.a | 0xEE) & fetchImmediate(k, m)); break;  // LXA

            // Undocumented: SHA, SHX, SHY, TAS and LAS.
            UNDOCUMENTED(0x93) storeHighAnd(k, m, baseIndirect(k, m), k.y, k.a & k.x); break;
            UNDOCUMENTED(0x9F) storeHighAnd(k, m, baseAbsolute(k, m), k.y, k.a & k.x); break;
            UNDOCUMENTED(0x9E) storeHighAnd(k, m, baseAbsolute(k, m), k.y, k.x); break;
            UNDOCUMENTED(0x9C) storeHighAnd(k, m, baseAbsolute(k, m), k.x, k.y); break;
            UNDOCUMENTED(0x9B) k.sp = k.a & k.x; storeHighAnd(k, m, baseAbsolute(k, m), k.y, k.sp); break;
            UNDOCUMENTED(0xBB) setNZ(k, k.a = k.x = k.sp = fetchAbsoluteY(k, m) & k.sp); break;

            // Undocumented: NOPs of one, two and three bytes (their reads
            // have no effect here).
            UNDOCUMENTED(0x1A) ++k.pc; break;
            UNDOCUMENTED(0x3A) ++k.pc; break;
            UNDOCUMENTED(0x5A) ++k.pc; break;
            UNDOCUMENTED(0x7A) ++k.pc; break;
            UNDOCUMENTED(0xDA) ++k.pc; break;
            UNDOCUMENTED(0xFA) ++k.pc; break;
            UNDOCUMENTED(0x80) k.pc += 2; break;
            UNDOCUMENTED(0x82) k.pc += 2; break;
            UNDOCUMENTED(0x89) k.pc += 2; break;
            UNDOCUMENTED(0xC2) k.pc += 2; break;
            UNDOCUMENTED(0xE2) k.pc += 2; break;
            UNDOCUMENTED(0x04) k.pc += 2; break;
            UNDOCUMENTED(0x44) k.pc += 2; break;
            UNDOCUMENTED(0x64) k.pc += 2; break;
            UNDOCUMENTED(0x14) k.pc += 2; break;
            UNDOCUMENTED(0x34) k.pc += 2; break;
            UNDOCUMENTED(0x54) k.pc += 2; break;
            UNDOCUMENTED(0x74) k.pc += 2; break;
            UNDOCUMENTED(0xD4) k.pc += 2; break;
            UNDOCUMENTED(0xF4) k.pc += 2; break;
            UNDOCUMENTED(0x0C) k.pc += 3; break;
            UNDOCUMENTED(0x1C) NOP_ABSOLUTE_X(); break;
            UNDOCUMENTED(0x3C) NOP_ABSOLUTE_X(); break;
            UNDOCUMENTED(0x5C) NOP_ABSOLUTE_X(); break;
            UNDOCUMENTED(0x7C) NOP_ABSOLUTE_X(); break;
            UNDOCUMENTED(0xDC) NOP_ABSOLUTE_X(); break;
            UNDOCUMENTED(0xFC) NOP_ABSOLUTE_X(); break;

            // JAM stops the processor. The loop that does not execute the
            // undocumented opcodes ends the call at each of them here too.
            case 0x02: case 0x12: case 0x22: case 0x32: case 0x42: case 0x52:
            case 0x62: case 0x72: case 0x92: case 0xB2: case 0xD2: case 0xF2:
                NOT_EXECUTED();
            default: __builtin_unreachable();  // every value has its case
        }
        // clang-format on
        if constexpr (Stepping || Machine) {
            if (k.pc > 0xFFFF) {  // wrapped here, as the guard bytes do for the other loops
                k.pc -= 0x10000;
                CONTROL_TRANSFER(0xFFFF);
            }
        }
        if constexpr (Machine) {
            if (k.cycles >= bus.nextEvent) {
                if constexpr (Stepping) --stepCount;
                result = kRunEvent;
                goto done;
            }
        }
        if constexpr (Stepping) {
            if (--stepCount == 0) {
                result = kRunStepsDone;
                goto done;
            }
        }
    }

done:
    storeCore(k);
    if constexpr (Machine) bus.now = k.cycles;
    stepsLeft = stepCount;
    return result;
}

}  // namespace

int cpuRun(uint16_t stepCount) {
    const bool stepping = stepCount != 0;
#if VOXDUMP_WATCHDOG
    // Near the cycle limit, the careful loop checks it before every instruction.
    bool careful = stepping || !watchdogFarFromCycleLimit();
#else
    const bool careful = stepping;
#endif
    int result;
    uint64_t cyclesSoFar = 0;
    for (;;) {
        if (cpu.undocumented) {
            result = stepping  ? runLoop<true, true, true>(stepCount, cyclesSoFar, stepCount)
                     : careful ? runLoop<false, true, true>(stepCount, cyclesSoFar, stepCount)
                               : runLoop<false, false, true>(stepCount, cyclesSoFar, stepCount);
        } else {
            result = stepping  ? runLoop<true, true, false>(stepCount, cyclesSoFar, stepCount)
                     : careful ? runLoop<false, true, false>(stepCount, cyclesSoFar, stepCount)
                               : runLoop<false, false, false>(stepCount, cyclesSoFar, stepCount);
        }
        cyclesSoFar = cpu.cycleTotal;
        if (result != kRunCheck) break;
#if VOXDUMP_WATCHDOG
        const WatchdogAction action =
            watchdogCheck(cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, statusByte(), cpu.cycleTotal);
        if (action == WatchdogAction::Stop) {
            result = kRunStopped;
            break;
        }
        if (action == WatchdogAction::NearCycleLimit) careful = true;
#endif
        if (stepping && stepCount == 0) {
            result = kRunStepsDone;
            break;
        }
    }
#if VOXDUMP_WATCHDOG
    watchdog.routineCycles += cpu.cycleTotal;
#endif
    return result;
}

namespace {

// The machine variant's loop is large enough that the compiler would call its
// addressing modes instead of inlining them: here everything is inlined.
template <bool Stepping, bool Undocumented>
[[gnu::flatten, gnu::aligned(64)]] int runMachineLoop(uint16_t& stepCount) {
    return runLoop<Stepping, true, Undocumented, true>(stepCount, 0, stepCount);
}

}  // namespace

int cpuRunMachine(uint16_t stepCount) {
    const bool stepping = stepCount != 0;
    int result;
    for (;;) {
        if (cpu.undocumented) {
            result = stepping ? runMachineLoop<true, true>(stepCount)
                              : runMachineLoop<false, true>(stepCount);
        } else {
            result = stepping ? runMachineLoop<true, false>(stepCount)
                              : runMachineLoop<false, false>(stepCount);
        }
        if (result != kRunCheck) break;
#if VOXDUMP_WATCHDOG
        // The watchdog's cycles are the machine's; its limit is never near.
        if (watchdogCheck(cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, statusByte(), cpu.bus.now) ==
            WatchdogAction::Stop) {
            result = kRunRepeat;
            break;
        }
#endif
        if (cpu.bus.now >= cpu.bus.nextEvent) {
            result = kRunEvent;
            break;
        }
        if (stepping && stepCount == 0) {
            result = kRunStepsDone;
            break;
        }
    }
    return result;
}
