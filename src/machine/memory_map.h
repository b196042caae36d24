// The machine's memory as the processor sees it. The bank register ($01, with
// the direction register $00; inputs read as 1) decides what lies at
// $A000-$BFFF, $D000-$DFFF and $E000-$FFFF:
//  - $A000-$BFFF: RAM always (there is no BASIC image: RAM shows through);
//  - $D000-$DFFF: the I/O chips when bit 2 (CHAREN) is set and bit 0 or 1
//    is, RAM otherwise (there is no character image either);
//  - $E000-$FFFF: voxdump's own small system ROM when bit 1 (HIRAM) is set.
// Reads go where the map says; stores reach RAM, except where the I/O chips
// are seen, which take them instead. The processor port's bytes live in RAM
// at $00 and $01 and read back as written.
//
// The I/O window: the video chip at $D000-$D3FF (every 64 bytes), the sound
// chip at $D400-$D7FF (stores go to the listener as they do in the flat
// memory; reads give $FF from the paddles $D419/$D41A, voice 3's waveform
// and envelope from $D41B/$D41C (sid_voices.h), 0 from the rest), colour
// RAM at $D800-$DBFF (4 bits; the upper ones read 0), CIA 1 at $DC00 and
// CIA 2 at $DD00 (every 16 bytes), and nothing at $DE00-$DFFF (reads 0).
#pragma once

#include <cstdint>

// The system ROM image's routines (memoryMapStart builds it).
inline constexpr uint16_t kIdleLoop = 0xFF00;    // CLI, then JMP to itself
inline constexpr uint16_t kIrqEntry = 0xFF48;    // pushes A, X, Y; JMP ($0314) or ($0316)
inline constexpr uint16_t kNmiEntry = 0xFE43;    // JMP ($0318)
inline constexpr uint16_t kNmiHandler = 0xFE47;  // pushes, acknowledges CIA 2, ends at $FEBC
inline constexpr uint16_t kBrkHandler = 0xFE66;  // resets the stack, goes to the idle loop
inline constexpr uint16_t kIrqHandler = 0xEA31;  // acknowledges CIA 1, ends at $EA81
inline constexpr uint16_t kIrqAcknowledge = 0xEA7E;
inline constexpr uint16_t kUpdateClockEntry = 0xFFEA;  // JMP to the clock update
inline constexpr uint16_t kUpdateClock = 0xF69B;       // jiffy clock $A0-$A2, $91 = $FF
inline constexpr uint16_t kReadClockEntry = 0xFFDE;    // JMP to the clock read
inline constexpr uint16_t kSetClockEntry = 0xFFDB;     // JMP to the clock set
inline constexpr uint16_t kReadClock = 0xF6DD;         // A, X, Y = $A2, $A1, $A0; on to the set
inline constexpr uint16_t kSetClock = 0xF6E4;          // $A2, $A1, $A0 = A, X, Y; CLI
inline constexpr uint16_t kIrqReturn = 0xEA81;         // PLA TAY PLA TAX PLA RTI
inline constexpr uint16_t kNmiReturn = 0xFEBC;         // the same

// Builds the ROM image and maps memory for the bank register in RAM.
void memoryMapStart();

// Maps memory anew after a store into $00 or $01.
void memoryMapPort();

// What a read would give, without an I/O register's side effects (for the
// trace: I/O registers show as RAM).
uint8_t memoryPeek(uint16_t address);

// The I/O window's accesses, at cpu.bus.now.
uint8_t memoryMapRead(uint16_t address);
void memoryMapWrite(uint16_t address, uint8_t value);
