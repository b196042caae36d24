// Routine calls that never reach $00 end; calls that do are left alone.
#include <gtest/gtest.h>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "support/test_support.h"

namespace {

struct LoopCase {
    const char* what;
    const char* code;  // at $1000
    StopReason reason;
    uint16_t address;    // where the call is ended
    uint32_t maxCycles;  // the call must end within this many cycles
};

const LoopCase kLoops[] = {
    {"raster poll", "ad 12 d0 c9 80 d0 f9", StopReason::EndlessLoop, 0x1000, 200},
    {"jump to itself", "4c 00 10", StopReason::EndlessLoop, 0x1000, 50},
    {"same SID write for ever", "a9 0f 8d 18 d4 4c 02 10", StopReason::EndlessLoop, 0x1002, 200},
    {"8-bit counters wrap", "e8 d0 fd c8 4c 00 10", StopReason::EndlessLoop, 0x1000, 2000000},
    // INC $FB / BNE / INC $FC / JMP: a 16-bit counter in memory
    {"16-bit counter in memory wraps", "e6 fb d0 fc e6 fc 4c 00 10", StopReason::EndlessLoop,
     0x1000, 5000000},
    {"loop through JSR and RTS", "20 06 10 4c 00 10 60", StopReason::EndlessLoop, 0x1003, 200},
    {"undocumented opcode", "ea 53", StopReason::NotExecuted, 0x1001, 2},
};

void PrintTo(const LoopCase& c, std::ostream* out) {
    *out << c.what;
}

class LoopTest : public testing::TestWithParam<LoopCase> {};

TEST_P(LoopTest, EndsTheCall) {
    const LoopCase& c = GetParam();
    loadCode(c.code);
    watchdogStartRoutine();
    ASSERT_EQ(cpuRun(0), kRunStopped);
    EXPECT_EQ(watchdog.reason, c.reason);
    EXPECT_EQ(watchdog.stopAddress, c.address);
    EXPECT_LE(cpu.cycleTotal, c.maxCycles);
}

INSTANTIATE_TEST_SUITE_P(Table, LoopTest, testing::ValuesIn(kLoops));

// Memory full of NOPs: execution runs through $FFFF into $0000 for ever,
// without a single jump.
void loadSlide() {
    loadCode("");
    const Bytes nops(65535, 0xEA);
    cpuLoad(nops.data(), 0, 65535);
    cpuLoad(nops.data(), 0xFFFF, 1);
    cpuSetPc(0x1000);
}

TEST(Watchdog, RunThroughTheWholeAddressSpaceEnds) {
    loadSlide();
    watchdogStartRoutine();
    ASSERT_EQ(cpuRun(0), kRunStopped);
    EXPECT_EQ(watchdog.reason, StopReason::EndlessLoop);
    EXPECT_EQ(watchdog.stopAddress, 0x0000);
}

TEST(Watchdog, SameCallsStepwiseEndAtTheSameInstruction) {
    for (auto load : {+[] { loadCode("e6 fb d0 fc e6 fc 4c 00 10"); }, +[] { loadSlide(); }}) {
        load();
        watchdogStartRoutine();
        ASSERT_EQ(cpuRun(0), kRunStopped);
        const uint64_t cycles = cpu.cycleTotal;
        const uint16_t pc = cpu.pc;
        load();
        watchdogStartRoutine();
        uint64_t stepped = 0;
        int result;
        do {
            result = cpuRun(1);
            stepped += cpu.cycleTotal;
        } while (result == kRunStepsDone);
        EXPECT_EQ(result, kRunStopped);
        EXPECT_EQ(stepped, cycles);
        EXPECT_EQ(cpu.pc, pc);
    }
}

TEST(Watchdog, LongFiniteLoopsRunToTheirEnd) {
    // Counts a 24-bit number in memory up to $FFFFFF, with a loop state that
    // looks alike at every pass, then RTS to the $00 at $0001.
    loadCode("e6 10 d0 fc e6 11 d0 f8 e6 12 d0 f4 60");
    watchdogStartRoutine();
    EXPECT_EQ(cpuRun(0), kRunReachedBrk);
    EXPECT_EQ(cpu.pc, 0x0001);
}

TEST(Watchdog, CycleLimitIsExactAfterARunWithoutChecks) {
    // A 24-bit counter in memory: no state repeats before the limit.
    loadCode("e6 10 d0 fc e6 11 d0 f8 e6 12 d0 f4 4c 00 10");
    watchdogStartRoutine();
    watchdog.routineCycles = kCycleLimit - 3 * kMaxCyclesBetweenChecks;
    ASSERT_EQ(cpuRun(0), kRunStopped);
    EXPECT_EQ(watchdog.reason, StopReason::CycleLimit);
    EXPECT_LE(watchdog.routineCycles, kCycleLimit);
    EXPECT_GT(watchdog.routineCycles + cpu.opcodeCycles[cpu.memory[cpu.pc]], kCycleLimit);
}

TEST(Watchdog, CycleLimitEndsTheCall) {
    loadCode("ea ea ea ea ea ea ea ea 4c 00 10");
    watchdogStartRoutine();
    watchdog.routineCycles = 0xFFFFFFFFull - 10;  // as if the call had run that long
    ASSERT_EQ(cpuRun(0), kRunStopped);
    EXPECT_EQ(watchdog.reason, StopReason::CycleLimit);
    EXPECT_EQ(cpu.cycleTotal, 10u);
    EXPECT_EQ(watchdog.stopAddress, 0x1005);
}

// A budget ends the call before the first instruction that would take it
// past the budget, in the fast loop, near the switch to the careful loop and
// one instruction at a time alike: the stop found by stepping without a
// budget and adding up the cycles.
TEST(Watchdog, CycleBudgetEndsTheCallExactly) {
    // A 24-bit counter in memory (5- and 2-cycle instructions), then a
    // chain of 2-cycle INX/BNE loops.
    const char* const kCode[] = {"e6 10 d0 fc e6 11 d0 f8 e6 12 d0 f4 4c 00 10",
                                 "e8 d0 fd c8 d0 fa e6 10 d0 f6 4c 00 10"};
    for (const char* code : kCode) {
        for (uint64_t budget :
             {uint64_t{1}, uint64_t{2}, uint64_t{7}, uint64_t{1000}, uint64_t{1001},
              2 * kMaxCyclesBetweenChecks + 3, uint64_t{1000000}}) {
            loadCode(code);
            watchdogStartRoutine();
            uint64_t total = 0;
            while (total + cpu.opcodeCycles[cpu.memory[cpu.pc]] <= budget) {
                ASSERT_EQ(cpuRun(1), kRunStepsDone);
                total += cpu.cycleTotal;
            }
            const uint16_t stopAt = cpu.pc;
            for (bool stepping : {false, true}) {
                loadCode(code);
                watchdogSetCycleBudget(budget);
                watchdogStartRoutine();
                uint64_t cycles = 0;
                int result;
                do {
                    result = cpuRun(stepping ? 1 : 0);
                    cycles += cpu.cycleTotal;
                } while (result == kRunStepsDone);
                EXPECT_EQ(result, kRunStopped) << code << " " << budget;
                EXPECT_EQ(watchdog.reason, StopReason::CycleBudget) << code << " " << budget;
                EXPECT_EQ(watchdog.stopAddress, stopAt) << code << " " << budget;
                EXPECT_EQ(cycles, total) << code << " " << budget;
            }
        }
    }
}

}  // namespace
