// The opcode table and the trace line.
#include <gtest/gtest.h>

#include <set>

#include "cpu/cpu_state.h"
#include "disasm/disasm_line.h"
#include "disasm/opcode_table.h"
#include "support/test_support.h"

namespace {

TEST(OpcodeTable, CountsAndAgreementWithTheCpu) {
    opcodeTableBuild();
    opcodeTableBuild();  // building twice gives the same table
    std::set<std::string> mnemonics;
    int documented = 0;
    for (int k = 0; k < 256; ++k) {
        const OpcodeInfo& e = opcodeTable[static_cast<size_t>(k)];
        EXPECT_EQ(e.opcode, k);
        EXPECT_EQ(e.cycles, kBaseCycles[static_cast<size_t>(k)]) << "opcode " << k;
        if (e.mnemonic == "unknown") {
            EXPECT_EQ(e.mode, Unknown);
            EXPECT_EQ(e.length, 1);
            continue;
        }
        ++documented;
        mnemonics.insert(e.mnemonic);
    }
    EXPECT_EQ(documented, 151);
    EXPECT_EQ(mnemonics.size(), 56u);
}

struct Row {
    int opcode;
    const char* mnemonic;
    int mode, length, cycles;
};

TEST(OpcodeTable, RowsEasyToGetWrong) {
    opcodeTableBuild();
    const Row rows[] = {{0x00, "BRK", Implied, 1, 7},  {0x94, "STY", IndexedX, 2, 4},
                        {0x96, "STX", IndexedY, 2, 4}, {0xB6, "LDX", IndexedY, 2, 4},
                        {0x6C, "JMP", Indirect, 3, 5}, {0x4C, "JMP", Direct, 3, 3},
                        {0x20, "JSR", Direct, 3, 6},   {0x02, "unknown", Unknown, 1, 0},
                        {0x80, "unknown", Unknown, 1, 0}, {0xFF, "unknown", Unknown, 1, 0}};
    for (const Row& r : rows) {
        const OpcodeInfo& e = opcodeTable[static_cast<size_t>(r.opcode)];
        EXPECT_EQ(e.mnemonic, r.mnemonic) << r.opcode;
        EXPECT_EQ(e.mode, r.mode) << r.opcode;
        EXPECT_EQ(e.length, r.length) << r.opcode;
        EXPECT_EQ(e.cycles, r.cycles) << r.opcode;
    }
    for (int branch : {0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0}) {
        EXPECT_EQ(opcodeTable[static_cast<size_t>(branch)].mode, Direct);
        EXPECT_EQ(opcodeTable[static_cast<size_t>(branch)].length, 2);
    }
}

struct LineCase {
    uint16_t pc;
    const char* bytes;
    const char* line;
};

TEST(DisasmLine, ExampleLines) {
    opcodeTableBuild();
    const LineCase cases[] = {
        {0x1000, "a9 00", ";1000   a9 00      LDA #00\n"},
        {0x1002, "8d 18 d4", ";1002   8d 18 d4   STA D418\n"},
        {0x1005, "6c 14 03", ";1005   6c 14 03   JMP (0314)\n"},
        {0x1008, "60", ";1008   60         RTS \n"},
        {0x100a, "0a", ";100a   0a         ASL A\n"},
        {0x1010, "d0 fb", ";1010   d0 fb      BNE FB\n"},
        {0x1012, "91 fb", ";1012   91 fb      STA (FB),Y\n"},
        {0x1014, "bd 00 11", ";1014   bd 00 11   LDA 1100,X\n"},
        {0x1017, "a1 20", ";1017   a1 20      LDA (20,X)\n"},
        {0x0900, "b6 10", ";900   b6 10      LDX 10,Y\n"},
        {0x0902, "be 34 12", ";902   be 34 12   LDX 1234,Y\n"},
        {0xc000, "02", ";c000   02         unknown \n"},
        {0x0001, "00", ";1   00         BRK \n"},
        {0x0000, "a5 fb", ";0   a5 fb      LDA FB\n"},
        {0x2000, "95 10", ";2000   95 10      STA 10,X\n"},
        {0x2000, "99 ff 00", ";2000   99 ff 00   STA 00FF,Y\n"},
    };
    for (const LineCase& c : cases) {
        loadCode(c.bytes, c.pc);
        char line[kDisasmLineMax];
        EXPECT_EQ(std::string(line, disasmFormatLine(cpuMemory(), 0, c.pc, line)), c.line);
    }
}

TEST(DisasmLine, OperandWrapsAtFFFF) {
    opcodeTableBuild();
    loadCode("34 12", 0x0000);
    const uint8_t lda = 0xAD;
    cpuLoad(&lda, 0xFFFF, 1);
    char line[kDisasmLineMax];
    EXPECT_EQ(std::string(line, disasmFormatLine(cpuMemory(), 0, 0xFFFF, line)),
              ";ffff   ad 34 12   LDA 1234\n");
}

}  // namespace
