#include "cpu/watchdog.h"

#include <algorithm>
#include <cstring>

thread_local constinit WatchdogState watchdog{};

namespace {

// Cycles between the first two saves of a routine call.
constexpr uint64_t kFirstPower = 16;

}  // namespace

namespace {

alignas(64) thread_local uint8_t keptContent[256][256];

// Forgets the copied pages. With `watch`, the image as it is now becomes the
// saved one, and the first store to each page will copy it.
void forgetKeptPages(bool watch) {
    for (uint8_t& traps : cpu.storeTraps) {
        traps = static_cast<uint8_t>(watch ? traps | kTrapWatch : traps & ~kTrapWatch);
    }
    watchdog.keptCount = 0;
}

bool memoryAsSaved() {
    for (uint16_t k = 0; k < watchdog.keptCount; ++k) {
        const uint8_t page = watchdog.keptPages[k];
        if (std::memcmp(cpu.memory.data() + page * 256, keptContent[page], 256) != 0) return false;
    }
    return true;
}

}  // namespace

void watchdogKeepPage(uint8_t page) {
    std::memcpy(keptContent[page], cpu.memory.data() + page * 256, 256);
    cpu.storeTraps[page] &= static_cast<uint8_t>(~kTrapWatch);
    watchdog.keptPages[watchdog.keptCount++] = page;
}

void watchdogStartRoutine() {
    forgetKeptPages(false);
    watchdog.routineCycles = 0;
    watchdog.lookAt = 0;
    watchdog.nextSave = 0;
    watchdog.power = kFirstPower;
    watchdog.haveSaved = false;
    watchdog.ioSinceSave = false;
    watchdog.reason = StopReason::None;
}

WatchdogAction watchdogCheck(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t sp,
                             uint8_t status, uint64_t cyclesThisRun) {
    WatchdogState& w = watchdog;
    const MachineKey state{pc, a, x, y, sp, status};
    if (w.haveSaved && !w.ioSinceSave && state == w.saved && memoryAsSaved()) {
        watchdogStop(StopReason::EndlessLoop, pc, 0);
        return WatchdogAction::Stop;
    }
    const uint64_t now = w.routineCycles + cyclesThisRun;
    if (now < w.lookAt) return WatchdogAction::Continue;  // came for a matching pc only

    if (now >= w.nextSave) {
        // Brent: save a state, compare every later one with it, and save
        // again after twice as long.
        forgetKeptPages(true);
        w.saved = state;
        w.haveSaved = true;
        w.ioSinceSave = false;
        w.power *= 2;
        w.nextSave = now + w.power;
    }
    // Between two checks execution can run on by at most
    // kMaxCyclesBetweenChecks: near the limit, every instruction is checked.
    const uint64_t left = w.cycleLimit - now;
    if (left < 2 * kMaxCyclesBetweenChecks) {
        w.lookAt = now;
        return WatchdogAction::NearCycleLimit;
    }
    w.lookAt = std::min(w.nextSave, w.cycleLimit - kMaxCyclesBetweenChecks);
    return WatchdogAction::Continue;
}

void watchdogSetCycleBudget(uint64_t cycles) {
    watchdog.cycleLimit = cycles;
}

void watchdogStop(StopReason reason, uint16_t address, uint8_t opcode) {
    watchdog.reason = reason;
    watchdog.stopAddress = address;
    watchdog.stopOpcode = opcode;
}
