// Ends routine calls that would never reach opcode $00:
//  - an undocumented opcode, which changes nothing and so repeats for ever;
//  - an endless loop: the machine comes back to a state it was in before
//    (pc, registers, flags and all 64 KiB of memory), so it repeats for ever;
//  - a cycle total that would no longer fit the 32-bit time stamp.
//
// Loops are found with Brent's cycle detection over the states seen right
// after each control transfer (taken branch, jump, call, return): any loop
// that does not run through the whole address space passes one. A state is
// the registers plus a 64-bit hash of memory that every store keeps up to
// date. When a state seems to repeat after p samples, memory is copied and the
// next p samples are run; only if the state and every memory byte then match
// exactly is the loop declared, so a hash collision can never end a call that
// would have finished.
#pragma once

#include <cstdint>

#include "cpu/core.h"
#include "cpu/cpu_state.h"

enum class StopReason : uint8_t { None, UndocumentedOpcode, EndlessLoop, CycleLimit };

struct MachineKey {
    uint64_t memoryHash;
    uint16_t pc;
    uint8_t a, x, y, sp, c, v, d, i, b, nValue, zValue;
    bool operator==(const MachineKey&) const = default;
};

struct WatchdogState {
    uint64_t memoryHash;     // sum of value * addressKey(address) over memory
    uint64_t routineCycles;  // cycles of the routine call before this cpuRun
    uint64_t countdown;      // samples left before the next save or check
    uint64_t power;
    uint64_t period;
    uint16_t savedPc;
    bool haveSaved;
    bool verifying;
    MachineKey saved;
    StopReason reason;
    uint16_t stopAddress;
    uint8_t stopOpcode;
};

extern WatchdogState watchdog;

// A pseudo-random weight per address.
inline uint64_t addressKey(uint16_t address) {
    uint64_t k = (uint64_t{address} + 0x9E37u) * 0x9E3779B97F4A7C15ull;
    return k ^ (k >> 29);
}

// Every store into the image reports itself here before it happens.
inline void watchdogNoteStore(uint16_t address, uint8_t value) {
#if VOXDUMP_WATCHDOG
    watchdog.memoryHash += (uint64_t{value} - cpu.memory[address]) * addressKey(address);
#else
    (void)address;
    (void)value;
#endif
}

// The whole image was set to zero.
void watchdogMemoryCleared();

// A routine call begins: forget the previous call's history.
void watchdogStartRoutine();

bool watchdogCheck(const Core& core);

// Called after every control transfer; true when the call must end.
inline bool watchdogSample(const Core& core) {
    uint64_t left = --watchdog.countdown;
    if (core.pc != watchdog.savedPc && left != 0) [[likely]]
        return false;
    return watchdogCheck(core);
}

void watchdogStop(StopReason reason, uint16_t address, uint8_t opcode);
