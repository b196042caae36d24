// What the stores that something listens to do besides storing the byte: the
// CPU's store hook for the pages hooked here prints the console line for a
// store to $5094 and hands the stores into the sound chip's registers to
// whatever listens (the .log writer, the study of a tune); in a machine the
// chip hands them over through memWriteSound instead. Every other store goes
// to memory in the execution loop alone and never comes here.
#pragma once

#include <cstdint>

#include "cpu/cpu_state.h"

inline constexpr uint16_t kBumpAddress = 0x5094;
inline constexpr uint16_t kSidFirst = 0xD400;
inline constexpr uint16_t kSidLast = 0xD7FF;

inline bool inSidWindow(uint16_t address) {
    return static_cast<uint16_t>(address - kSidFirst) <= kSidLast - kSidFirst;
}

// Gets every store into $D400-$D7FF: the call's cycle total at the store
// (the storing instruction's cycles included), the address and the value.
using WindowListener = void (*)(uint32_t time, uint16_t address, uint8_t value);

// After cpuReset: the write path takes the CPU's stores, with no listener yet;
// `bump`: stores to $5094 print "BUMP" (a collection's run prints nothing).
void memWriteReset(bool bump = true);

// Adds a listener; listeners hear a store in the order they were added.
void memWriteListen(WindowListener listener);

// From now until the next memWriteReset, the sound chip is a chip of a
// machine (machine/), which hands its stores to memWriteSound: stores into
// $D400-$D7FF that reach RAM (I/O banked out) are not the chip's.
void memWriteFromChip();

// A store that reached the sound chip, `time` cycles into the call.
void memWriteSound(uint32_t time, uint16_t address, uint8_t value);

// What a store to a hooked page does before the byte is stored.
void memWriteTrapped(uint16_t address, uint8_t value);
