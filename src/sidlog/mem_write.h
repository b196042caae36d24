// The one path through which instructions store into memory.
#pragma once

#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "sidlog/sid_log.h"

inline constexpr uint16_t kBumpAddress = 0x5094;
inline constexpr uint16_t kSidFirst = 0xD400;
inline constexpr uint16_t kSidLast = 0xD7FF;

inline bool inSidWindow(uint16_t address) {
    return static_cast<uint16_t>(address - kSidFirst) <= kSidLast - kSidFirst;
}

// What a store to a trapped page does before the byte is stored: the console
// line for $5094, the log line for a sound chip register while logging, the
// watchdog's copy of the page. Time stamps come from cpu.cycleTotal.
void memWriteTrapped(uint16_t address, uint8_t value);

inline void memWrite(uint16_t address, uint8_t value) {
    if (storeTraps[address >> 8]) [[unlikely]]
        memWriteTrapped(address, value);
    cpu.memory[address] = value;
}
