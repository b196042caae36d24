// The processor's timing in the machine: the extra cycles of taken branches,
// page crossings and indexed reads, the two writes of a read-modify-write as
// the chips see them, when an IRQ that CLI lets in is taken, and a delay
// loop timed by counting cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "machine/machine.h"
#include "machine/machine_state.h"
#include "machine/machine_stores.h"
#include "support/test_support.h"

namespace {

using machine_stores::keepStore;
using machine_stores::stores;

void start(std::string_view hex, uint16_t at = 0x1000) {
    loadCode("ea", 0x1000);
    const Bytes code = hexBytes(hex);
    std::copy(code.begin(), code.end(), cpu.memory.begin() + at);
    stores.clear();
    machineStart({false, at, 0, 0, 0x2000, 0x37, keepStore, nullptr});
    cpu.bus.nextEvent = kNever;
    cpu.bus.limit = kNever;
}

struct TimingCase {
    const char* name;
    uint16_t at;      // where the instruction lies
    const char* hex;  // the instruction
    uint8_t x, y;
    uint8_t z, n, c;  // flags
    unsigned cycles;
    uint16_t next;  // pc after it
};

// The pointer at $F0 holds $20F0 in every case.
// clang-format off
const TimingCase kTimings[] = {
    {"LDA abs,X same page",      0x1000, "bd f0 30", 0x0F, 0, 0, 0, 0, 4, 0x1003},
    {"LDA abs,X page crossed",   0x1000, "bd f0 30", 0x10, 0, 0, 0, 0, 5, 0x1003},
    {"LDA abs,Y page crossed",   0x1000, "b9 f0 30", 0, 0x10, 0, 0, 0, 5, 0x1003},
    {"LDX abs,Y page crossed",   0x1000, "be ff 30", 0, 0x01, 0, 0, 0, 5, 0x1003},
    {"LDY abs,X same page",      0x1000, "bc 00 30", 0xFF, 0, 0, 0, 0, 4, 0x1003},
    {"ADC abs,Y page crossed",   0x1000, "79 80 30", 0, 0x80, 0, 0, 0, 5, 0x1003},
    {"CMP abs,X page crossed",   0x1000, "dd 80 30", 0x80, 0, 0, 0, 0, 5, 0x1003},
    {"EOR (zp),Y same page",     0x1000, "51 f0", 0, 0x0F, 0, 0, 0, 5, 0x1002},
    {"LDA (zp),Y page crossed",  0x1000, "b1 f0", 0, 0x10, 0, 0, 0, 6, 0x1002},
    {"STA abs,X page crossed",   0x1000, "9d f0 30", 0x10, 0, 0, 0, 0, 5, 0x1003},
    {"STA (zp),Y page crossed",  0x1000, "91 f0", 0, 0x10, 0, 0, 0, 6, 0x1002},
    {"INC abs,X page crossed",   0x1000, "fe f0 30", 0x10, 0, 0, 0, 0, 7, 0x1003},
    {"LDA abs wraps no page",    0x1000, "ad ff 30", 0, 0, 0, 0, 0, 4, 0x1003},
    {"BNE not taken",            0x1000, "d0 10", 0, 0, 1, 0, 0, 2, 0x1002},
    {"BNE taken same page",      0x1000, "d0 10", 0, 0, 0, 0, 0, 3, 0x1012},
    {"BNE taken backward",       0x1010, "d0 f0", 0, 0, 0, 0, 0, 3, 0x1002},
    {"BEQ taken next page",      0x10F0, "f0 20", 0, 0, 1, 0, 0, 4, 0x1112},
    {"BCC taken previous page",  0x1100, "90 f0", 0, 0, 0, 0, 0, 4, 0x10F2},
    {"BCS not taken at the edge", 0x10F0, "b0 20", 0, 0, 0, 0, 0, 2, 0x10F2},
    {"BPL taken to the next page's start", 0x10FD, "10 01", 0, 0, 0, 0, 0, 4, 0x1100},
    {"BMI taken to the same page's end", 0x10FC, "30 01", 0, 0, 0, 1, 0, 3, 0x10FF},
    {"BPL from the page's last bytes", 0x10FE, "10 00", 0, 0, 0, 0, 0, 3, 0x1100},
};
// clang-format on

TEST(Timing, CyclesPerInstruction) {
    for (const TimingCase& c : kTimings) {
        SCOPED_TRACE(c.name);
        start(c.hex, c.at);
        cpu.memory[0xF0] = 0xF0;
        cpu.memory[0xF1] = 0x20;
        cpu.x = c.x;
        cpu.y = c.y;
        cpu.z = c.z;
        cpu.n = c.n;
        cpu.c = c.c;
        const uint64_t before = cpu.bus.now;
        cpuRunMachine(1);
        EXPECT_EQ(cpu.bus.now - before, c.cycles);
        EXPECT_EQ(cpu.pc, c.next);
    }
}

TEST(Timing, TheFlatLoopKeepsBaseCycles) {
    // BNE taken across a page and LDA abs,X across a page: base counts only.
    loadCode("a2 10 bd f0 30 d0 20 00", 0x10F0);
    cpu.memory[0x10F7 + 0x20] = 0x00;
    cpuRun(0);
    EXPECT_EQ(cpu.cycleTotal, 2u + 4u + 2u + 7u);
}

TEST(Timing, ReadModifyWriteWritesTheOldValueACycleBefore) {
    // INC $D400: the idle chip reads 0; 0 is written at cycle 5, 1 at 6.
    start("ee 00 d4");
    cpuRunMachine(1);
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0].value, 0x00);
    EXPECT_EQ(stores[0].time, 5u);
    EXPECT_EQ(stores[1].value, 0x01);
    EXPECT_EQ(stores[1].time, 6u);
}

TEST(Timing, ReadModifyWriteAcknowledgesTheRasterThroughItsFirstWrite) {
    // The raster latch is set; INC $D019 reads $F1 and writes $F1 (which
    // clears the latch) and then $F2. DEC and ASL likewise; a plain store of
    // the new value alone would not clear it for INC.
    for (const char* code : {"ee 19 d0", "ce 19 d0", "0e 19 d0", "4e 19 d0"}) {
        SCOPED_TRACE(code);
        start(code);
        machine.vic.flags = 1;
        machine.vic.enable = 1;
        cpuRunMachine(1);
        EXPECT_EQ(machine.vic.flags & 1, 0);
    }
}

TEST(Timing, AnIrqThatCliLetsInIsTakenAfterTheNextInstruction) {
    // CLI, NOP, NOP with the IRQ line up: the processor stops for it after
    // the first NOP, not after the CLI; PLP the same; RTI at once.
    struct Case {
        const char* code;
        int stepsToStop;
        uint16_t stopsAt;
    };
    const Case cases[] = {{"58 ea ea", 2, 0x1002},
                          {"a9 00 48 28 ea ea", 4, 0x1005},
                          {"a9 10 48 a9 50 48 a9 00 48 40", 7, 0x1050}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        start(c.code);
        cpu.bus.irqLine = true;
        const machine_stores::Stepped run = machine_stores::stepToEvent();
        EXPECT_EQ(run.result, kRunEvent);
        EXPECT_EQ(run.steps, c.stepsToStop);
        EXPECT_EQ(cpu.pc, c.stopsAt);
        EXPECT_FALSE(cpu.bus.irqHeld);
    }
}

TEST(Timing, TheSystemTimersIrqComesAfterTheInstructionFollowingCli) {
    // SEI; a delay of 20575 cycles, past the system timer's first flag;
    // CLI; INC $F0; INC $F1: the IRQ is taken after INC $F0. The handler at
    // $3000 stores $F0 and $F1 into the sound chip.
    start("78 a0 10 a2 00 ca d0 fd 88 d0 f8 58 e6 f0 e6 f1 4c 10 10");
    const Bytes handler = hexBytes("a5 f0 8d 00 d4 a5 f1 8d 01 d4 ad 0d dc 4c 81 ea");
    std::copy(handler.begin(), handler.end(), cpu.memory.begin() + 0x3000);
    cpu.memory[0x0314] = 0x00;
    cpu.memory[0x0315] = 0x30;
    machineRunCall(nullptr);  // the start routine, up to the IRQ
    machineRunCall(nullptr);
    ASSERT_GE(stores.size(), 2u);
    EXPECT_EQ(stores[0].value, 1);  // INC $F0 ran
    EXPECT_EQ(stores[1].value, 0);  // INC $F1 had not
}

TEST(Timing, ADelayLoopTimedByCountingCycles) {
    // SEI, then for ever: LDY #16; 16 times LDX #0, 256 times DEX/BNE; DEY/BNE;
    // INC $F0, LDA $F0, STA $D400, JMP. A round is
    //   2 + 16 * (2 + 256 * 2 + 255 * 3 + 2 + 2 + 3) - 1 + 5 + 3 + 4 + 3
    // = 20592 cycles (16912 if branches cost their base cycles only), with
    // the screen off. With it on, 25 bad lines a frame of 312 lines stop the
    // processor for 43 cycles each: a round then lasts about 346 lines, all
    // 25 bad lines of a frame and up to 5 more, 27.7 on average.
    for (const bool screen : {false, true}) {
        SCOPED_TRACE(screen);
        start("78 a0 10 a2 00 ca d0 fd 88 d0 f8 e6 f0 a5 f0 8d 00 d4 4c 01 10");
        if (!screen) vicWrite(machine.vic, 0x11, 0x0B, 0);
        machineRunCall(nullptr);  // no IRQ: 50 frames of start routine
        ASSERT_GE(stores.size(), 40u);
        uint32_t allStops = 0;
        for (size_t k = 1; k < stores.size(); ++k) {
            const uint32_t round = stores[k].time - stores[k - 1].time;
            EXPECT_EQ(stores[k].value, static_cast<uint8_t>(stores[k - 1].value + 1));
            if (!screen) {
                EXPECT_EQ(round, 20592u) << k;
                continue;
            }
            ASSERT_EQ((round - 20592) % 43, 0u) << round;
            const uint32_t stops = (round - 20592) / 43;
            EXPECT_GE(stops, 25u);
            EXPECT_LE(stops, 30u);
            allStops += stops;
        }
        if (screen) {
            const double mean = allStops / static_cast<double>(stores.size() - 1);
            EXPECT_NEAR(mean, 25.0 * 20592 / (19656 - 25 * 43), 0.3);
        }
    }
}

}  // namespace

namespace {

TEST(Timing, OperandsFromTheChipsAreReadAtTheirOwnCycles) {
    // CIA 2's timers, stopped at the start. LDA #$A9, STA $DD05: timer A
    // loaded with $A9FF, so that $DD05 reads $A9 (LDA #). LDA #0, STA $DD07,
    // LDA #$11, STA $DD0F: timer B loaded with $00FF and started at cycle 20.
    // JMP $DD05 ends at 23; the LDA # there is fetched at 23 and its operand,
    // timer B's low byte, read at 24: $FF - 4 (at the instruction's end, 25,
    // it would be $FA).
    start("a9 a9 8d 05 dd a9 00 8d 07 dd a9 11 8d 0f dd 4c 05 dd");
    for (int k = 0; k < 8; ++k) cpuRunMachine(1);
    EXPECT_EQ(cpu.pc, 0xDD07);
    EXPECT_EQ(cpu.a, 0xFB);
}

}  // namespace

namespace {

TEST(Timing, AnInterruptRaisedLateInAnInstructionWaitsForTheNextOne) {
    // CLI, then NOPs (or LDA zp first, to end them on odd cycles), the
    // screen off: the system
    // timer's flag comes at cycle 16422, CIA 1's output a cycle later, and
    // the 6502 sees it only before an instruction's last cycle: the IRQ is
    // taken after the first instruction that ends at 16425 or later.
    struct Case {
        const char* first;
        uint64_t call0;
    };
    for (const Case& c : {Case{"58 ea", 16426}, Case{"58 a5 f0", 16425}}) {
        SCOPED_TRACE(c.first);
        start(c.first);
        const Bytes first = hexBytes(c.first);
        std::fill(cpu.memory.begin() + 0x1000 + static_cast<long>(first.size()),
                  cpu.memory.begin() + 0x5000, uint8_t{0xEA});
        vicWrite(machine.vic, 0x11, 0x0B, 0);  // the screen off: no bad line
        EXPECT_EQ(machineRunCall(nullptr).cycles, c.call0);
    }
}

}  // namespace
