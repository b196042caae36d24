// The video chip (6569 PAL, 6567 NTSC) as far as a tune's timing sees it:
// the raster counter and its compare interrupt. Lines are 63 cycles, 312 a
// frame (PAL), or 65 cycles, 263 a frame (NTSC); the raster line is computed
// from the machine's cycle (line 0 begins at cycle 0), and the compare
// matches at the first cycle of its line. The other registers keep what is
// written and read back as an idle chip gives them.
//
// Bad lines: while the screen is on (DEN, bit 4 of $D011), every line from
// $30 to $F7 whose low three bits equal YSCROLL (bits 0-2 of $D011) is one
// in which the chip reads a row of characters and stops the processor: from
// its cycle 12 (where the chip asks for the bus) to its cycle 54, 43 cycles
// (the 6502 stops at its first read after cycle 12; the up to 3 write cycles
// it may still do first are not counted). Sprites, which steal cycles too,
// are not modelled.
#pragma once

#include <cstdint>

struct Vic {
    uint8_t regs[64];
    uint16_t compare;      // raster compare line: $D012 and bit 7 of $D011
    uint8_t flags;         // $D019's latches, bits 0-3
    uint8_t enable;        // $D01A, bits 0-3
    uint64_t checkedFrom;  // compare matches from this cycle on are not in `flags` yet
    uint32_t lineCycles, lines;
    bool rasterRead;  // $D011 or $D012 was read (the machine clears it)
};

void vicReset(Vic& vic, bool ntsc);

inline uint64_t vicFrameCycles(const Vic& vic) {
    return uint64_t{vic.lineCycles} * vic.lines;
}

// The raster line at cycle `now`.
uint32_t vicLine(const Vic& vic, uint64_t now);

// The first cycle at or after `from` at which the compare line begins, or
// kNever when the compare line lies past the frame.
uint64_t vicNextMatch(const Vic& vic, uint64_t from);

// Brings the compare latch to cycle `now`.
void vicAdvance(Vic& vic, uint64_t now);

// Register `reg` (0-63: the chip answers every 64 bytes) at `now`.
uint8_t vicRead(Vic& vic, uint8_t reg, uint64_t now);
void vicWrite(Vic& vic, uint8_t reg, uint8_t value, uint64_t now);

inline bool vicInterrupting(const Vic& vic) {
    return (vic.flags & vic.enable) != 0;
}

inline constexpr uint32_t kBadLineFirst = 0x30, kBadLineLast = 0xF7;
inline constexpr uint32_t kBadLineStealAt = 12;  // the line's cycle where the stop begins
inline constexpr uint32_t kBadLineCycles = 43;   // how long the processor is stopped

// Whether `line` is a bad line with the registers as they are.
bool vicBadLine(const Vic& vic, uint32_t line);

// The first cycle at or after `from` at which a bad line's stop begins, or
// kNever while the screen is off.
uint64_t vicNextSteal(const Vic& vic, uint64_t from);

// The cycle at which the raster interrupt is next raised, or kNever.
uint64_t vicNextInterrupt(const Vic& vic);

// True when the interrupt output is raised or will be without a register access.
bool vicArmed(const Vic& vic);
