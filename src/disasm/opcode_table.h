// What the disassembler knows of each of the 256 opcode values.
#pragma once

#include <array>
#include <cstdint>
#include <string>

enum AddrMode : uint8_t {
    Immediate = 0,
    Direct = 1,  // zero page, absolute, relative, and the target of JMP and JSR
    IndexedX = 2,
    IndexedY = 3,
    IndirectX = 4,
    IndirectY = 5,
    Accumulator = 6,
    Implied = 7,
    Indirect = 8,
    Unknown = 255,
};

struct OpcodeInfo {
    uint8_t opcode;
    uint8_t mode;
    uint8_t length;
    uint8_t cycles;
    std::string mnemonic;
};

extern std::array<OpcodeInfo, 256> opcodeTable;

void opcodeTableBuild();

// Adds the NMOS 6502's undocumented opcodes to the built table: their
// mnemonics (JAM for the twelve that stop the processor), modes, lengths and
// cycles, in the forms of the documented instructions.
void opcodeTableAddUndocumented();
