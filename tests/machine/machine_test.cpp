// The environment in the process: the memory map under the bank register,
// the interrupt sequence and RTI, and how a run is cut into calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "machine/machine.h"
#include "machine/machine_stores.h"
#include "machine/memory_map.h"
#include "support/test_support.h"

namespace {

using machine_stores::keepStore;
using machine_stores::stores;

// The machine started with `hex` at $1000, the init address.
void start(std::string_view hex, bool ntsc = false, uint32_t budget = 0) {
    loadCode(hex, 0x1000);
    stores.clear();
    machineStart({ntsc, 0x1000, 0, budget, 0x2000, 0x37, keepStore, nullptr});
}

// Runs the processor alone for `steps` instructions.
void step(int steps) {
    cpu.bus.nextEvent = kNever;
    cpu.bus.limit = kNever;
    for (int k = 0; k < steps; ++k) cpuRunMachine(1);
}

struct BankCase {
    uint8_t ddr, port;
    const char* a000;  // what $A000, $D020 and $E000 show: "ram", "io" or "rom"
    const char* d020;
    const char* e000;
};

// clang-format off
const BankCase kBanks[] = {
    {0x2F, 0x37, "ram", "io", "rom"},
    {0x2F, 0x36, "ram", "io", "rom"},
    {0x2F, 0x35, "ram", "io", "ram"},
    {0x2F, 0x34, "ram", "ram", "ram"},
    {0x2F, 0x33, "ram", "ram", "rom"},  // the character image's place: RAM shows through
    {0x2F, 0x32, "ram", "ram", "rom"},
    {0x2F, 0x31, "ram", "ram", "ram"},
    {0x2F, 0x30, "ram", "ram", "ram"},
    {0x28, 0x30, "ram", "io", "rom"},   // inputs read as 1
    {0x2E, 0x36, "ram", "io", "rom"},
};
// clang-format on

const char* seen(uint16_t address) {
    const uint8_t value = busRead(address);
    if (value == 0xAA) return "ram";
    return address == 0xD020 ? (value == 0xFE ? "io" : "?") : (value == 0x60 ? "rom" : "?");
}

TEST(MemoryMap, BankRegister) {
    for (const BankCase& c : kBanks) {
        SCOPED_TRACE(c.port);
        // LDA #ddr, STA $00, LDA #port, STA $01
        start("a9 00 85 00 a9 00 85 01");
        cpu.memory[0x1001] = c.ddr;
        cpu.memory[0x1005] = c.port;
        for (unsigned address : {0xA000u, 0xD020u, 0xE000u}) cpu.memory[address] = 0xAA;
        step(4);
        EXPECT_STREQ(seen(0xA000), c.a000);
        EXPECT_STREQ(seen(0xD020), c.d020);
        EXPECT_STREQ(seen(0xE000), c.e000);
    }
}

TEST(MemoryMap, StoresReachTheChipsOrRam) {
    // STA $D418 and $D020 with I/O seen, then with $01 = $34, then under the
    // ROM at $E000.
    start("a9 0f 8d 18 d4 8d 20 d0 a9 34 85 01 a9 07 8d 18 d4 8d 20 d0 8d 00 e0");
    step(9);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].address, 0xD418);
    EXPECT_EQ(stores[0].value, 0x0F);
    EXPECT_EQ(cpu.memory[0xD418], 0x07);
    EXPECT_EQ(cpu.memory[0xD020], 0x07);
    EXPECT_EQ(cpu.memory[0xE000], 0x07);
}

TEST(MemoryMap, ReadModifyWriteOfAnIoRegisterWritesTwice) {
    // INC $D400: the idle chip reads 0, the 6502 writes 0 back, then 1.
    start("ee 00 d4");
    step(1);
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0].value, 0x00);
    EXPECT_EQ(stores[1].value, 0x01);
    EXPECT_EQ(stores[1].time, 6u);
}

TEST(MemoryMap, SystemRoutinesAndVectors) {
    start("60");
    EXPECT_EQ(busRead(0xFFFE) | busRead(0xFFFF) << 8, kIrqEntry);
    EXPECT_EQ(busRead(0xFFFA) | busRead(0xFFFB) << 8, kNmiEntry);
    EXPECT_EQ(cpu.memory[0x0314] | cpu.memory[0x0315] << 8, kIrqHandler);
    EXPECT_EQ(cpu.memory[0x0316] | cpu.memory[0x0317] << 8, kBrkHandler);
    EXPECT_EQ(cpu.memory[0x0318] | cpu.memory[0x0319] << 8, kNmiHandler);
    EXPECT_EQ(busRead(0xFFD2), 0x60);  // the jump table returns at once
    EXPECT_EQ(cpu.memory[0x02A6], 1);  // PAL
    EXPECT_EQ(cpu.memory[0x01], 0x37);
}

TEST(Interrupts, EntryTakesSevenCyclesAndPushesWithTheBreakFlagClear) {
    start("ea");
    cpu.pc = 0x1234;
    cpu.i = 0;
    cpu.c = 1;
    const uint8_t sp = cpu.sp;
    const uint64_t before = cpu.bus.now;
    cpuInterrupt(0xFFFE);
    EXPECT_EQ(cpu.bus.now - before, 7u);
    EXPECT_EQ(cpu.pc, kIrqEntry);
    EXPECT_EQ(cpu.i, 1);
    EXPECT_EQ(cpu.sp, static_cast<uint8_t>(sp - 3));
    EXPECT_EQ(cpu.memory[0x100 + sp], 0x12);
    EXPECT_EQ(cpu.memory[0x100 + sp - 1], 0x34);
    EXPECT_EQ(cpu.memory[0x100 + sp - 2], 0x21);  // bit 5, C; B clear, I as it was
}

TEST(Interrupts, SystemEntryAndRtiCycles) {
    // The handler at $2000 is JMP $EA81: the system's pulls and RTI.
    start("ea");
    cpu.memory[0x0314] = 0x00;
    cpu.memory[0x0315] = 0x20;
    cpu.memory[0x2000] = 0x4C;
    cpu.memory[0x2001] = 0x81;
    cpu.memory[0x2002] = 0xEA;
    cpu.pc = 0x1000;
    cpu.i = 0;
    cpu.a = 0x11;
    const uint8_t sp = cpu.sp;
    const uint64_t before = cpu.bus.now;
    cpuInterrupt(0xFFFE);
    step(10);  // PHA TXA PHA TYA PHA TSX LDA,X AND BEQ (taken) JMP()
    EXPECT_EQ(cpu.pc, 0x2000);
    EXPECT_EQ(cpu.bus.now - before, 7u + 29u);
    step(7);  // JMP, PLA TAY PLA TAX PLA, RTI
    EXPECT_EQ(cpu.bus.now - before, 7u + 29u + 3u + 16u + 6u);
    EXPECT_EQ(cpu.pc, 0x1000);
    EXPECT_EQ(cpu.i, 0);
    EXPECT_EQ(cpu.a, 0x11);
    EXPECT_EQ(cpu.sp, sp);
}

TEST(Interrupts, BrkPushesTheBreakFlagAndGoesThroughTheSystem) {
    start("00 ff");
    cpu.i = 0;
    const uint8_t sp = cpu.sp;
    const uint64_t before = cpu.bus.now;
    step(1);
    EXPECT_EQ(cpu.bus.now - before, 7u);
    EXPECT_EQ(cpu.pc, kIrqEntry);
    EXPECT_EQ(cpu.memory[0x100 + sp], 0x10);
    EXPECT_EQ(cpu.memory[0x100 + sp - 1], 0x02);
    EXPECT_EQ(cpu.memory[0x100 + sp - 2] & 0x30, 0x30);
    step(10);  // the entry sees the break flag: JMP ($0316)
    EXPECT_EQ(cpu.pc, kBrkHandler);
    step(3);
    EXPECT_EQ(cpu.pc, kIdleLoop);
    EXPECT_EQ(cpu.sp, 0xFF);
}

TEST(Interrupts, CliPlpAndRtiLetAWaitingIrqIn) {
    // CLI and PLP after the instruction that follows them, RTI at once.
    const std::pair<const char*, uint16_t> cases[] = {{"58 ea ea", 0x1002},
                                                      {"a9 00 48 28 ea ea", 0x1005},
                                                      {"a9 10 48 a9 50 48 a9 00 48 40", 0x1050}};
    for (const auto& [code, stopsAt] : cases) {
        SCOPED_TRACE(code);
        start(code);
        cpu.bus.irqLine = true;
        cpu.bus.nextEvent = kNever;
        cpu.bus.limit = kNever;
        EXPECT_EQ(machine_stores::stepToEvent().result, kRunEvent);
        EXPECT_EQ(cpu.i, 0);
        EXPECT_EQ(cpu.pc, stopsAt);  // before the next instruction
    }
}

TEST(Interrupts, ReadingCia2sInterruptRegisterKeepsAnNmiEdgeAlreadyRaised) {
    // CIA 2 timer A, latch 2, interrupt on, started one-shot by STA $DD0E:
    // it underflows 3 cycles after that store, within the LDA $DD0D that
    // follows, which reads and clears the flag. The NMI is still taken: its
    // handler at $3000 stores into the sound chip. One read, then two.
    for (const char* reads : {"ad 0d dd", "ad 0d dd ad 0d dd"}) {
        SCOPED_TRACE(reads);
        start(std::string("78 a9 00 8d 18 03 a9 30 8d 19 03 a9 02 8d 04 dd a9 00 8d 05 dd "
                          "a9 81 8d 0d dd a9 19 8d 0e dd ") +
              reads + " 60");
        cpu.memory[0x3000] = 0x8D;  // STA $D400, RTI
        cpu.memory[0x3001] = 0x00;
        cpu.memory[0x3002] = 0xD4;
        cpu.memory[0x3003] = 0x40;
        machineRunCall(nullptr);
        ASSERT_EQ(stores.size(), 1u);
        EXPECT_EQ(stores[0].address, 0xD400);
    }
}

TEST(Calls, TheSystemTimerCutsCallsAtItsPeriod) {
    // The start routine returns at once; the system's handler acknowledges.
    start("60");
    const MachineCall first = machineRunCall(nullptr);
    EXPECT_EQ(first.cycles, 0x4025u + 1);
    for (int k = 0; k < 3; ++k) {
        const MachineCall call = machineRunCall(nullptr);
        EXPECT_EQ(call.cycles, 0x4025u + 1);
        EXPECT_FALSE(call.stopped);
    }
    EXPECT_EQ(cpu.pc, 0x2001);  // waiting in the idle loop
}

TEST(Calls, TheSystemHandlerCountsTheJiffyClockAndReadsTheStopKey) {
    struct Case {
        uint8_t a0, a1, a2;  // the clock before
        int calls;
        uint8_t e0, e1, e2;  // after
    };
    const Case cases[] = {
        {0x00, 0x00, 0x00, 300, 0x00, 0x01, 0x2C},  // 300 = $00012C
        {0x00, 0xFF, 0xFF, 1, 0x01, 0x00, 0x00},    // the carry into $A0
        {0x12, 0x34, 0xFE, 2, 0x12, 0x35, 0x00},    // into $A1
        {0xFF, 0xFF, 0xFF, 1, 0x00, 0x00, 0x00},    // past $FFFFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        start("60");
        cpu.memory[0xA0] = c.a0;
        cpu.memory[0xA1] = c.a1;
        cpu.memory[0xA2] = c.a2;
        // No key down from the start: the STOP key's row, the last and the
        // current key.
        EXPECT_EQ(cpu.memory[0x91], 0xFF);
        EXPECT_EQ(cpu.memory[0xC5], 0x40);
        EXPECT_EQ(cpu.memory[0xCB], 0x40);
        cpu.memory[0x91] = 0x00;
        machineRunCall(nullptr);  // the start routine: no IRQ yet
        EXPECT_EQ(cpu.memory[0x91], 0x00);
        for (int k = 0; k < c.calls; ++k) machineRunCall(nullptr);
        EXPECT_EQ(cpu.memory[0xA0], c.e0);
        EXPECT_EQ(cpu.memory[0xA1], c.e1);
        EXPECT_EQ(cpu.memory[0xA2], c.e2);
        EXPECT_EQ(cpu.memory[0x91], 0xFF);  // no key down
    }
}

// $FFDE reads the clock into A (low), X and Y (high), $FFDB sets it, and
// both leave interrupts on.
TEST(Calls, TheSystemReadsAndSetsTheJiffyClock) {
    // JSR $FFDE, STA $02, STX $03, STY $04, LDA #$01, LDX #$02, LDY #$03,
    // JSR $FFDB, PHP, PLA, STA $05, RTS
    start("20 de ff 85 02 86 03 84 04 a9 01 a2 02 a0 03 20 db ff 08 68 85 05 60");
    cpu.memory[0xA0] = 0x12;
    cpu.memory[0xA1] = 0x34;
    cpu.memory[0xA2] = 0x56;
    machineRunCall(nullptr);
    EXPECT_EQ(cpu.memory[0x02], 0x56);
    EXPECT_EQ(cpu.memory[0x03], 0x34);
    EXPECT_EQ(cpu.memory[0x04], 0x12);
    EXPECT_EQ(cpu.memory[0xA0], 0x03);
    EXPECT_EQ(cpu.memory[0xA1], 0x02);
    EXPECT_EQ(cpu.memory[0xA2], 0x01);
    EXPECT_EQ(cpu.memory[0x05] & 0x04, 0);  // the I flag clear after the call
}

TEST(Calls, NtscTimerAndTheNtscFlag) {
    start("60", true);
    EXPECT_EQ(cpu.memory[0x02A6], 0);
    EXPECT_EQ(machineRunCall(nullptr).cycles, 0x4295u + 1);
}

TEST(Calls, NothingToWaitForHaltsTheMachine) {
    // LDA #$7F, STA $DC0D: no interrupt can come after the return.
    start("a9 7f 8d 0d dc 60");
    const MachineCall first = machineRunCall(nullptr);
    EXPECT_TRUE(first.stopped);
    EXPECT_EQ(watchdog.reason, StopReason::EndlessLoop);
    EXPECT_EQ(watchdog.stopAddress, 0x2001);
    for (int k = 0; k < 2; ++k) {
        const MachineCall call = machineRunCall(nullptr);
        EXPECT_EQ(call.cycles, 312u * 63);
        EXPECT_FALSE(call.stopped);
    }
}

TEST(Calls, WithoutIrqACallLastsAFrameAndTheStartRoutineFifty) {
    // SEI, then LDA $D012, STA $F0, JMP back for ever: busy, reading I/O.
    start("78 ad 12 d0 85 f0 4c 01 10");
    const uint64_t frame = 312 * 63;
    const MachineCall first = machineRunCall(nullptr);
    EXPECT_GE(first.cycles, 50 * frame);
    EXPECT_LT(first.cycles, 50 * frame + 10);
    uint64_t total = first.cycles;
    for (uint64_t k = 0; k < 3; ++k) {
        const MachineCall call = machineRunCall(nullptr);
        EXPECT_FALSE(call.stopped);
        EXPECT_GE(total + call.cycles, total + frame);
        EXPECT_LT(call.cycles, frame + 10);
        total += call.cycles;
    }
}

TEST(Calls, TheBudgetEndsACallAndTheMachineGoesOn) {
    start("78 e6 f0 4c 01 10", false, 1000);
    const MachineCall first = machineRunCall(nullptr);
    EXPECT_TRUE(first.stopped);
    EXPECT_EQ(watchdog.reason, StopReason::CycleBudget);
    EXPECT_LE(first.cycles, 1000u);
    EXPECT_GT(first.cycles, 1000u - 8);
    const uint8_t counter = cpu.memory[0xF0];
    EXPECT_TRUE(machineRunCall(nullptr).stopped);
    EXPECT_NE(cpu.memory[0xF0], counter);  // it went on
}

struct PlaceCase {
    uint16_t load;
    uint32_t size;
    uint8_t startPage, pages;
    uint16_t idle;
};

// clang-format off
const PlaceCase kPlaces[] = {
    {0x1000, 0x100, 0x00, 0x00, 0x1100},  // the largest free range is above the image
    {0x8000, 0x1F00, 0x00, 0x00, 0x0400},  // below it
    {0x0400, 0x9C00, 0x00, 0x00, 0xC000},  // only $C000-$CFFF is free
    {0x1000, 0x100, 0x04, 0x02, 0x0400},  // the tune's free pages
    {0x1000, 0x100, 0xFF, 0x00, 0xFF00},  // no free page: the ROM's loop
    {0x1000, 0x1234, 0x00, 0x00, 0x2300},  // page-aligned after the image
};
// clang-format on

TEST(Environment, IdleLoopPlace) {
    for (const PlaceCase& c : kPlaces) {
        EXPECT_EQ(machineIdlePlace(c.load, c.size, c.startPage, c.pages), c.idle) << c.load;
    }
}

TEST(Environment, StartBank) {
    EXPECT_EQ(machineStartBank(true, 0xE000, 0x1000), 0x37);  // RSID: always the system's
    EXPECT_EQ(machineStartBank(false, 0x1000, 0x1000), 0x37);
    EXPECT_EQ(machineStartBank(false, 0x9000, 0x1001), 0x36);
    EXPECT_EQ(machineStartBank(false, 0xE000, 0x100), 0x35);
    EXPECT_EQ(machineStartBank(false, 0xC000, 0x1001), 0x34);
}

TEST(Environment, StateWordsSeeCountsThatTimeAnIrqOrWereRead) {
    uint64_t a[kMachineStateWords], b[kMachineStateWords];
    // The system's timer times the IRQ: its count is part of the state.
    start("60");
    const size_t n = machineStateWords(a);
    ciaAdvance(machine.cia1, 5);
    machineStateWords(b);
    EXPECT_FALSE(std::equal(a, a + n, b));
    // CIA 2's timer A times NMIs alone and nothing reads it: left out.
    start("60");
    ciaWrite(machine.cia2, 0x0D, 0x81, 0);
    ciaWrite(machine.cia2, 0x0E, 0x01, 0);
    machineStateWords(a);
    ciaAdvance(machine.cia2, 5);
    machineStateWords(b);
    EXPECT_TRUE(std::equal(a, a + n, b));
    // Once read, it is part of the state for 64 calls.
    ciaRead(machine.cia2, 0x04, 5);
    machineStateWords(a);
    ciaAdvance(machine.cia2, 9);
    machineStateWords(b);
    EXPECT_FALSE(std::equal(a, a + n, b));
    for (int k = 0; k < 64; ++k) machineRunCall(nullptr);
    machineStateWords(a);
    ciaAdvance(machine.cia2, cpu.bus.now + 3);
    machineStateWords(b);
    EXPECT_TRUE(std::equal(a, a + n, b));
}

}  // namespace
