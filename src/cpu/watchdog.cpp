#include "cpu/watchdog.h"

#include <cstring>

WatchdogState watchdog;

namespace {

alignas(64) uint8_t snapshot[65536];

MachineKey keyOf(const Core& k) {
    return MachineKey{watchdog.memoryHash,
                      k.pc,
                      k.a,
                      k.x,
                      k.y,
                      k.sp,
                      k.c,
                      k.v,
                      k.d,
                      k.i,
                      k.b,
                      k.nValue,
                      k.zValue};
}

void save(const MachineKey& now) {
    watchdog.saved = now;
    watchdog.savedPc = now.pc;
    watchdog.haveSaved = true;
}

}  // namespace

void watchdogMemoryCleared() {
    watchdog.memoryHash = 0;
}

void watchdogStartRoutine() {
    watchdog.routineCycles = 0;
    watchdog.countdown = 1;
    watchdog.power = 1;
    watchdog.period = 0;
    watchdog.savedPc = 0;
    watchdog.haveSaved = false;
    watchdog.verifying = false;
    watchdog.reason = StopReason::None;
}

bool watchdogCheck(const Core& core) {
    WatchdogState& w = watchdog;
    const MachineKey now = keyOf(core);
    if (w.verifying) {
        if (w.countdown != 0) return false;
        if (now == w.saved && std::memcmp(snapshot, cpu.memory.data(), sizeof snapshot) == 0) {
            watchdogStop(StopReason::EndlessLoop, core.pc, 0);
            return true;
        }
        // The hashes collided: search on from here.
        w.verifying = false;
        save(now);
        w.power *= 2;
        w.countdown = w.power;
        return false;
    }
    if (w.haveSaved && now == w.saved) {
        // The state seems to repeat every `period` samples: prove it.
        w.period = w.power - w.countdown;
        w.verifying = true;
        save(now);
        std::memcpy(snapshot, cpu.memory.data(), sizeof snapshot);
        w.countdown = w.period;
        return false;
    }
    if (w.countdown == 0) {
        save(now);
        w.power *= 2;
        w.countdown = w.power;
    }
    return false;
}

void watchdogStop(StopReason reason, uint16_t address, uint8_t opcode) {
    watchdog.reason = reason;
    watchdog.stopAddress = address;
    watchdog.stopOpcode = opcode;
}
