// The one path through which instructions store into memory.
#pragma once

#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "sidlog/sid_log.h"

inline constexpr uint16_t kBumpAddress = 0x5094;
inline constexpr uint16_t kSidFirst = 0xD400;
inline constexpr uint16_t kSidLast = 0xD7FF;

// Prints the console line "BUMP".
void memWriteBump();

inline void memWrite(uint16_t address, uint8_t value) {
    if (address == kBumpAddress) [[unlikely]] {
        memWriteBump();
    } else if (static_cast<uint16_t>(address - kSidFirst) <= kSidLast - kSidFirst && cpu.logEnabled)
        [[unlikely]] {
        sidLogWrite(cpu.cycleTotal, address, value);
    }
    watchdogNoteStore(address, value);
    cpu.memory[address] = value;
}
