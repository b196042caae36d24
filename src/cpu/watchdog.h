// Ends routine calls that would never reach opcode $00:
//  - an opcode that is not executed (an undocumented one, unless they are
//    executed, or a JAM), which changes nothing and so repeats for ever;
//  - an endless loop: the machine comes back to a state it was in before
//    (pc, registers, flags and all 64 KiB of memory), so it repeats for ever;
//  - a cycle total that would no longer fit the 32-bit time stamp, or that
//    would pass the run's cycle budget (--max-cycles).
//
// Loops are found with Brent's cycle detection over the states seen right
// after each backward move of pc: a taken branch, jump, call or return whose
// target is not above the instruction itself, or a run on past $FFFF into
// $0000. Every loop has one. Brent's method keeps one saved state and compares
// each new state with it. For memory, the saved state is the image at the
// moment of saving: before a store first touches a page after that moment,
// the page is copied (the page's kTrapWatch sends the store here). The memory
// equals the saved image exactly when every copied page still equals its
// copy, so a loop is declared only when the state really repeats.
//
// The cycle limit is looked at in the same place while it is far away; near
// it, the execution loop checks it before every instruction.
#pragma once

#include <cstdint>

#include "cpu/cpu_state.h"

// CycleLimit: the 32-bit time stamp's bound; CycleBudget: the run's budget.
enum class StopReason : uint8_t { None, NotExecuted, EndlessLoop, CycleLimit, CycleBudget };

// What the execution loop does after a check.
enum class WatchdogAction : uint8_t { Continue, Stop, NearCycleLimit };

// Between two backward moves of pc, execution runs forward through at most
// 65,536 instructions of at most 7 cycles.
inline constexpr uint64_t kMaxCyclesBetweenChecks = 65536 * 7;
inline constexpr uint64_t kCycleLimit = 0xFFFFFFFF;

struct MachineKey {
    uint16_t pc;
    uint8_t a, x, y, sp, status;
    bool operator==(const MachineKey&) const = default;
};

struct WatchdogState {
    uint64_t cycleLimit;     // the most cycles a routine call may take: kCycleLimit or the budget
    uint64_t routineCycles;  // cycles of the routine call before this cpuRun
    uint64_t lookAt;         // routine cycles at which the next check must come
    uint64_t nextSave;       // routine cycles at which Brent's next save is due
    uint64_t power;          // cycles between the last save and the next
    MachineKey saved;
    bool haveSaved;
    uint8_t keptPages[256];  // pages copied since the save, in the order copied
    uint16_t keptCount;
    // The machine's I/O was read or written since the save: a state that
    // equals the saved one need not repeat, since the chips moved on.
    bool ioSinceSave;
    StopReason reason;
    uint16_t stopAddress;
    uint8_t stopOpcode;
};

extern thread_local constinit WatchdogState watchdog;

void watchdogKeepPage(uint8_t page);

// Every store into the image reports itself here before it happens (through
// the page's kTrapWatch).
inline void watchdogNoteStore(uint16_t address) {
    if (cpu.storeTraps[address >> 8] & kTrapWatch)
        watchdogKeepPage(static_cast<uint8_t>(address >> 8));
}

// A routine call begins: forget the previous call's history.
void watchdogStartRoutine();

// From now until the next reset, a routine call ends before an instruction
// that would take it past `cycles` (1 to kCycleLimit); the reset sets
// kCycleLimit.
void watchdogSetCycleBudget(uint64_t cycles);

// What the execution loop compares after every backward move, copied into
// the loop when it starts (nothing changes it while the loop runs).
struct WatchdogTrigger {
    uint64_t lookAt;  // cycles of this cpuRun at which a check is due
    uint32_t pc;      // the saved state's pc, x, y and a
    uint8_t x, y, a;
};

// A cpuRun's loop starts; its cycles count from the start of the cpuRun.
inline WatchdogTrigger watchdogTrigger() {
    const uint64_t before = watchdog.routineCycles;
    const MachineKey& s = watchdog.saved;
    return {watchdog.lookAt > before ? watchdog.lookAt - before : 0, s.pc, s.x, s.y, s.a};
}

// True when the state may repeat the saved one, or a check is due (a save,
// or a look at the cycle limit); the loop then stops for watchdogCheck.
inline bool watchdogWorthChecking(const WatchdogTrigger& t, uint64_t cyclesThisRun, uint32_t pc,
                                  uint8_t x, uint8_t y, uint8_t a) {
    if (cyclesThisRun >= t.lookAt) return true;
    if (pc != t.pc) [[likely]]
        return false;
    return x == t.x && y == t.y && a == t.a;
}

// Compares the processor state with the saved one, saves a new one when due,
// and looks at the cycles charged so far. The registers come as plain values,
// so that the execution loop's can stay in host registers.
WatchdogAction watchdogCheck(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t sp,
                             uint8_t status, uint64_t cyclesThisRun);

// True when a run may start without checking the cycle limit per instruction.
inline bool watchdogFarFromCycleLimit() {
    return watchdog.routineCycles + 2 * kMaxCyclesBetweenChecks <= watchdog.cycleLimit;
}

void watchdogStop(StopReason reason, uint16_t address, uint8_t opcode);
