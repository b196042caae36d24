#include "cpu/watchdog.h"

#include <algorithm>
#include <cstring>

WatchdogState watchdog;

namespace {

alignas(64) uint8_t keptContent[256][256];

// Forgets the copied pages. With `watch`, the image as it is now becomes the
// saved one, and the first store to each page will copy it.
void forgetKeptPages(bool watch) {
    for (uint8_t& traps : storeTraps) {
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
    storeTraps[page] &= static_cast<uint8_t>(~kTrapWatch);
    watchdog.keptPages[watchdog.keptCount++] = page;
}

void watchdogStartRoutine() {
    forgetKeptPages(false);
    watchdog.routineCycles = 0;
    watchdog.countdown = 1;
    watchdog.span = 1;
    watchdog.sinceSave = 0;
    watchdog.power = 1;
    watchdog.haveSaved = false;
    watchdog.reason = StopReason::None;
}

WatchdogAction watchdogCheck(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t sp,
                             uint8_t status, uint64_t cyclesThisRun) {
    WatchdogState& w = watchdog;
    const MachineKey now{pc, a, x, y, sp, status};
    if (w.haveSaved && now == w.saved && memoryAsSaved()) {
        watchdogStop(StopReason::EndlessLoop, pc, 0);
        return WatchdogAction::Stop;
    }
    if (w.countdown != 0) return WatchdogAction::Continue;

    w.sinceSave += w.span;
    if (w.sinceSave >= w.power) {
        // Brent: save the state at every power of two and compare each later
        // state with it.
        forgetKeptPages(true);
        w.saved = now;
        w.haveSaved = true;
        w.power *= 2;
        w.sinceSave = 0;
    }
    // Look again before the cycle limit could be passed without a check.
    const uint64_t left = kCycleLimit - (w.routineCycles + cyclesThisRun);
    if (left < 2 * kMaxCyclesBetweenChecks) {
        w.countdown = w.span = 1;
        return WatchdogAction::NearCycleLimit;
    }
    w.span = std::min(w.power - w.sinceSave, left / kMaxCyclesBetweenChecks - 1);
    w.countdown = w.span;
    return WatchdogAction::Continue;
}

void watchdogStop(StopReason reason, uint16_t address, uint8_t opcode) {
    watchdog.reason = reason;
    watchdog.stopAddress = address;
    watchdog.stopOpcode = opcode;
}
