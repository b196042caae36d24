#include "disasm/disasm_line.h"

#include <cstring>

#include "disasm/opcode_table.h"
#include "output/output_file.h"

namespace {

char* putText(char* at, const char* text, size_t size) {
    std::memcpy(at, text, size);
    return at + size;
}

}  // namespace

size_t disasmFormatLine(const uint8_t* memory, uint16_t pc, char* line) {
    const uint8_t bytes[3] = {memory[pc], memory[static_cast<uint16_t>(pc + 1)],
                              memory[static_cast<uint16_t>(pc + 2)]};
    return disasmFormatBytes(bytes, pc, line);
}

size_t disasmFormatBytes(const uint8_t bytes[3], uint16_t pc, char* line) {
    const OpcodeInfo& info = opcodeTable[bytes[0]];
    const uint8_t lo = bytes[1];
    const uint8_t hi = bytes[2];

    char* at = line;
    *at++ = ';';
    at = putHexTrimmed(at, pc);
    at = putText(at, "   ", 3);
    for (int k = 0; k < info.length; ++k) {
        at = putHex(at, bytes[k], 2, false);
        *at++ = ' ';
    }
    for (int k = info.length; k < 3; ++k) at = putText(at, "   ", 3);
    at = putText(at, "  ", 2);
    at = putText(at, info.mnemonic.data(), info.mnemonic.size());
    *at++ = ' ';

    const bool wide = info.length == 3;
    const uint32_t value = wide ? static_cast<uint32_t>(lo | hi << 8) : lo;
    const int digits = wide ? 4 : 2;
    switch (info.mode) {
        case Immediate:
            *at++ = '#';
            at = putHex(at, value, 2, true);
            break;
        case Direct: at = putHex(at, value, digits, true); break;
        case IndexedX:
            at = putHex(at, value, digits, true);
            at = putText(at, ",X", 2);
            break;
        case IndexedY:
            at = putHex(at, value, digits, true);
            at = putText(at, ",Y", 2);
            break;
        case IndirectX:
            *at++ = '(';
            at = putHex(at, value, 2, true);
            at = putText(at, ",X)", 3);
            break;
        case IndirectY:
            *at++ = '(';
            at = putHex(at, value, 2, true);
            at = putText(at, "),Y", 3);
            break;
        case Accumulator: *at++ = 'A'; break;
        case Indirect:
            *at++ = '(';
            at = putHex(at, value, 4, true);
            *at++ = ')';
            break;
        default: break;  // implied and unknown: no operand
    }
    *at++ = '\n';
    return static_cast<size_t>(at - line);
}

int32_t disasmWriteLine(const uint8_t* memory, uint16_t pc, OutputFile& out) {
    char line[kDisasmLineMax];
    outputLine(out, line, disasmFormatLine(memory, pc, line));
    return opcodeTable[memory[pc]].length;
}

void disasmWriteBytes(const uint8_t bytes[3], uint16_t pc, OutputFile& out) {
    char line[kDisasmLineMax];
    outputLine(out, line, disasmFormatBytes(bytes, pc, line));
}
