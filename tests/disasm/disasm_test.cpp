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

TEST(OpcodeTable, UndocumentedOpcodesAdded) {
    opcodeTableBuild();
    opcodeTableAddUndocumented();
    std::set<std::string> mnemonics;
    for (int k = 0; k < 256; ++k) {
        const OpcodeInfo& e = opcodeTable[static_cast<size_t>(k)];
        EXPECT_NE(e.mnemonic, "unknown") << k;
        EXPECT_EQ(e.cycles, kAllCycles[static_cast<size_t>(k)]) << "opcode " << k;
        EXPECT_EQ(e.mnemonic == "JAM", isJamOpcode(static_cast<uint8_t>(k))) << k;
        mnemonics.insert(e.mnemonic);
    }
    EXPECT_EQ(mnemonics.size(), 76u);  // the 56, and 20 more (NOP and SBC had been there)
}

// clang-format off
TEST(DisasmLine, UndocumentedLines) {
    opcodeTableBuild();
    opcodeTableAddUndocumented();
    const struct {
        const char* bytes;
        const char* line;
    } cases[] = {
        {"a7 10", ";2000   a7 10      LAX 10\n"},
        {"b7 10", ";2000   b7 10      LAX 10,Y\n"},
        {"03 20", ";2000   03 20      SLO (20,X)\n"},
        {"93 10", ";2000   93 10      SHA (10),Y\n"},
        {"9c 00 20", ";2000   9c 00 20   SHY 2000,X\n"},
        {"9b 00 20", ";2000   9b 00 20   TAS 2000,Y\n"},
        {"eb 01", ";2000   eb 01      SBC #01\n"},
        {"80 12", ";2000   80 12      NOP #12\n"},
        {"0c 00 20", ";2000   0c 00 20   NOP 2000\n"},
        {"1a", ";2000   1a         NOP \n"},
        {"02 ff", ";2000   02         JAM \n"},
    };
    for (const auto& c : cases) {
        loadCode(c.bytes, 0x2000);
        char line[kDisasmLineMax];
        EXPECT_EQ(std::string(line, disasmFormatLine(cpuMemory(), 0x2000, line)), c.line);
    }
}

TEST(DisasmLine, ExampleLines) {
    opcodeTableBuild();
    const struct {
        uint16_t pc;
        const char* bytes;
        const char* line;
    } cases[] = {
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
        {0x2000, "94 10", ";2000   94 10      STY 10,X\n"},
        {0x2000, "96 10", ";2000   96 10      STX 10,Y\n"},
        {0x2000, "4c 00 10", ";2000   4c 00 10   JMP 1000\n"},
        {0x2000, "20 00 10", ";2000   20 00 10   JSR 1000\n"},
        {0x2000, "10 80", ";2000   10 80      BPL 80\n"},
        {0x2000, "80 ff", ";2000   80         unknown \n"},
        {0x2000, "ff ff", ";2000   ff         unknown \n"},
    };
    for (const auto& c : cases) {
        loadCode(c.bytes, c.pc);
        char line[kDisasmLineMax];
        EXPECT_EQ(std::string(line, disasmFormatLine(cpuMemory(), c.pc, line)), c.line);
    }
}
// clang-format on

TEST(DisasmLine, OperandWrapsAtFFFF) {
    opcodeTableBuild();
    loadCode("34 12", 0x0000);
    const uint8_t lda = 0xAD;
    cpuLoad(&lda, 0xFFFF, 1);
    char line[kDisasmLineMax];
    EXPECT_EQ(std::string(line, disasmFormatLine(cpuMemory(), 0xFFFF, line)),
              ";ffff   ad 34 12   LDA 1234\n");
}

}  // namespace
