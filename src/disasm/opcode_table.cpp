#include "disasm/opcode_table.h"

#include <algorithm>
#include <cstring>

std::array<OpcodeInfo, 256> opcodeTable;

namespace {

// One column per form; -1 where the instruction has no such form.
enum Form { Imm, Dir2, Dir3, IdxX2, IdxX3, IdxY2, IdxY3, IndX, IndY, Acc, Impl, Ind, kForms };

struct Row {
    const char* mnemonic;
    int opcodes[kForms];
};

constexpr int _ = -1;

// clang-format off
constexpr Row kRows[] = {
    //         Imm   Dir2  Dir3  IdxX2 IdxX3 IdxY2 IdxY3 IndX  IndY  Acc   Impl  Ind
    {"ADC", {0x69, 0x65, 0x6D, 0x75, 0x7D, _,    0x79, 0x61, 0x71, _,    _,    _}},
    {"AND", {0x29, 0x25, 0x2D, 0x35, 0x3D, _,    0x39, 0x21, 0x31, _,    _,    _}},
    {"ASL", {_,    0x06, 0x0E, 0x16, 0x1E, _,    _,    _,    _,    0x0A, _,    _}},
    {"BCC", {_,    0x90, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BCS", {_,    0xB0, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BEQ", {_,    0xF0, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BIT", {_,    0x24, 0x2C, _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BMI", {_,    0x30, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BNE", {_,    0xD0, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BPL", {_,    0x10, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BRK", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x00, _}},
    {"BVC", {_,    0x50, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"BVS", {_,    0x70, _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"CLC", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x18, _}},
    {"CLD", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xD8, _}},
    {"CLI", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x58, _}},
    {"CLV", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xB8, _}},
    {"CMP", {0xC9, 0xC5, 0xCD, 0xD5, 0xDD, _,    0xD9, 0xC1, 0xD1, _,    _,    _}},
    {"CPX", {0xE0, 0xE4, 0xEC, _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"CPY", {0xC0, 0xC4, 0xCC, _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"DEC", {_,    0xC6, 0xCE, 0xD6, 0xDE, _,    _,    _,    _,    _,    _,    _}},
    {"DEX", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xCA, _}},
    {"DEY", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x88, _}},
    {"EOR", {0x49, 0x45, 0x4D, 0x55, 0x5D, _,    0x59, 0x41, 0x51, _,    _,    _}},
    {"INC", {_,    0xE6, 0xEE, 0xF6, 0xFE, _,    _,    _,    _,    _,    _,    _}},
    {"INX", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xE8, _}},
    {"INY", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xC8, _}},
    {"JMP", {_,    _,    0x4C, _,    _,    _,    _,    _,    _,    _,    _,    0x6C}},
    {"JSR", {_,    _,    0x20, _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"LDA", {0xA9, 0xA5, 0xAD, 0xB5, 0xBD, _,    0xB9, 0xA1, 0xB1, _,    _,    _}},
    {"LDX", {0xA2, 0xA6, 0xAE, _,    _,    0xB6, 0xBE, _,    _,    _,    _,    _}},
    {"LDY", {0xA0, 0xA4, 0xAC, 0xB4, 0xBC, _,    _,    _,    _,    _,    _,    _}},
    {"LSR", {_,    0x46, 0x4E, 0x56, 0x5E, _,    _,    _,    _,    0x4A, _,    _}},
    {"NOP", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xEA, _}},
    {"ORA", {0x09, 0x05, 0x0D, 0x15, 0x1D, _,    0x19, 0x01, 0x11, _,    _,    _}},
    {"PHA", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x48, _}},
    {"PHP", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x08, _}},
    {"PLA", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x68, _}},
    {"PLP", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x28, _}},
    {"ROL", {_,    0x26, 0x2E, 0x36, 0x3E, _,    _,    _,    _,    0x2A, _,    _}},
    {"ROR", {_,    0x66, 0x6E, 0x76, 0x7E, _,    _,    _,    _,    0x6A, _,    _}},
    {"RTI", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x40, _}},
    {"RTS", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x60, _}},
    {"SBC", {0xE9, 0xE5, 0xED, 0xF5, 0xFD, _,    0xF9, 0xE1, 0xF1, _,    _,    _}},
    {"SEC", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x38, _}},
    {"SED", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xF8, _}},
    {"SEI", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x78, _}},
    {"STA", {_,    0x85, 0x8D, 0x95, 0x9D, _,    0x99, 0x81, 0x91, _,    _,    _}},
    {"STX", {_,    0x86, 0x8E, _,    _,    0x96, _,    _,    _,    _,    _,    _}},
    {"STY", {_,    0x84, 0x8C, 0x94, _,    _,    _,    _,    _,    _,    _,    _}},
    {"TAX", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xAA, _}},
    {"TAY", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xA8, _}},
    {"TSX", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xBA, _}},
    {"TXA", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x8A, _}},
    {"TXS", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x9A, _}},
    {"TYA", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x98, _}},
};

constexpr Row kUndocumentedRows[] = {
    //         Imm   Dir2  Dir3  IdxX2 IdxX3 IdxY2 IdxY3 IndX  IndY  Acc   Impl  Ind
    {"SLO", {_,    0x07, 0x0F, 0x17, 0x1F, _,    0x1B, 0x03, 0x13, _,    _,    _}},
    {"RLA", {_,    0x27, 0x2F, 0x37, 0x3F, _,    0x3B, 0x23, 0x33, _,    _,    _}},
    {"SRE", {_,    0x47, 0x4F, 0x57, 0x5F, _,    0x5B, 0x43, 0x53, _,    _,    _}},
    {"RRA", {_,    0x67, 0x6F, 0x77, 0x7F, _,    0x7B, 0x63, 0x73, _,    _,    _}},
    {"DCP", {_,    0xC7, 0xCF, 0xD7, 0xDF, _,    0xDB, 0xC3, 0xD3, _,    _,    _}},
    {"ISC", {_,    0xE7, 0xEF, 0xF7, 0xFF, _,    0xFB, 0xE3, 0xF3, _,    _,    _}},
    {"SAX", {_,    0x87, 0x8F, _,    _,    0x97, _,    0x83, _,    _,    _,    _}},
    {"LAX", {_,    0xA7, 0xAF, _,    _,    0xB7, 0xBF, 0xA3, 0xB3, _,    _,    _}},
    {"ANC", {0x0B, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"ANC", {0x2B, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"ALR", {0x4B, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"ARR", {0x6B, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"SBX", {0xCB, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"SBC", {0xEB, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"ANE", {0x8B, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"LXA", {0xAB, _,    _,    _,    _,    _,    _,    _,    _,    _,    _,    _}},
    {"SHA", {_,    _,    _,    _,    _,    _,    0x9F, _,    0x93, _,    _,    _}},
    {"SHX", {_,    _,    _,    _,    _,    _,    0x9E, _,    _,    _,    _,    _}},
    {"SHY", {_,    _,    _,    _,    0x9C, _,    _,    _,    _,    _,    _,    _}},
    {"TAS", {_,    _,    _,    _,    _,    _,    0x9B, _,    _,    _,    _,    _}},
    {"LAS", {_,    _,    _,    _,    _,    _,    0xBB, _,    _,    _,    _,    _}},
    {"NOP", {0x80, 0x04, 0x0C, 0x14, 0x1C, _,    _,    _,    _,    _,    0x1A, _}},
    {"NOP", {0x82, 0x44, _,    0x34, 0x3C, _,    _,    _,    _,    _,    0x3A, _}},
    {"NOP", {0x89, 0x64, _,    0x54, 0x5C, _,    _,    _,    _,    _,    0x5A, _}},
    {"NOP", {0xC2, _,    _,    0x74, 0x7C, _,    _,    _,    _,    _,    0x7A, _}},
    {"NOP", {0xE2, _,    _,    0xD4, 0xDC, _,    _,    _,    _,    _,    0xDA, _}},
    {"NOP", {_,    _,    _,    0xF4, 0xFC, _,    _,    _,    _,    _,    0xFA, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x02, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x12, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x22, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x32, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x42, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x52, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x62, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x72, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0x92, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xB2, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xD2, _}},
    {"JAM", {_,    _,    _,    _,    _,    _,    _,    _,    _,    _,    0xF2, _}},
};
// clang-format on

constexpr AddrMode kFormMode[kForms] = {Immediate, Direct,      Direct,   IndexedX,
                                        IndexedX,  IndexedY,    IndexedY, IndirectX,
                                        IndirectY, Accumulator, Implied,  Indirect};
constexpr uint8_t kFormLength[kForms] = {2, 2, 3, 2, 3, 2, 3, 2, 2, 1, 1, 3};

bool isAny(const char* mnemonic, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char* name) { return std::strcmp(mnemonic, name) == 0; });
}

// The base cycle count of one form of an instruction.
uint8_t cyclesOf(const char* mnemonic, Form form) {
    const bool combined = isAny(mnemonic, {"SLO", "RLA", "SRE", "RRA", "DCP", "ISC"});
    const bool readModifyWrite =
        combined || isAny(mnemonic, {"ASL", "LSR", "ROL", "ROR", "INC", "DEC"});
    const bool store = isAny(mnemonic, {"STA", "SHA", "SHX", "SHY", "TAS"});
    if (std::strcmp(mnemonic, "JAM") == 0) return 0;  // the processor stops
    if (combined && (form == IndX || form == IndY)) return 8;
    switch (form) {
        case Imm: return 2;
        case Dir2:
            if (mnemonic[0] == 'B' && std::strcmp(mnemonic, "BIT") != 0) return 2;  // branches
            return readModifyWrite ? 5 : 3;
        case Dir3:
            if (std::strcmp(mnemonic, "JMP") == 0) return 3;
            if (std::strcmp(mnemonic, "JSR") == 0) return 6;
            return readModifyWrite ? 6 : 4;
        case IdxX2:
        case IdxY2: return readModifyWrite ? 6 : 4;
        case IdxX3:
        case IdxY3: return readModifyWrite ? 7 : store ? 5 : 4;
        case IndX: return 6;
        case IndY: return store ? 6 : 5;
        case Acc: return 2;
        case Impl:
            if (isAny(mnemonic, {"PHA", "PHP"})) return 3;
            if (isAny(mnemonic, {"PLA", "PLP"})) return 4;
            if (isAny(mnemonic, {"RTS", "RTI"})) return 6;
            if (std::strcmp(mnemonic, "BRK") == 0) return 7;
            return 2;
        case Ind: return 5;
        case kForms: break;
    }
    return 0;
}

void assign(const Row& row) {
    for (int form = 0; form < kForms; ++form) {
        if (row.opcodes[form] < 0) continue;
        OpcodeInfo& entry = opcodeTable[static_cast<size_t>(row.opcodes[form])];
        entry.mnemonic = row.mnemonic;
        entry.mode = kFormMode[form];
        entry.length = kFormLength[form];
        entry.cycles = cyclesOf(row.mnemonic, static_cast<Form>(form));
    }
}

}  // namespace

void opcodeTableBuild() {
    for (int k = 0; k < 256; ++k) {
        opcodeTable[static_cast<size_t>(k)] =
            OpcodeInfo{static_cast<uint8_t>(k), Unknown, 1, 0, "unknown"};
    }
    for (const Row& row : kRows) assign(row);
}

void opcodeTableAddUndocumented() {
    for (const Row& row : kUndocumentedRows) assign(row);
}
