// Instruction families, addressing wrap rules, the stack and cycle charges,
// each case a line of the table: state before, code, state after.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <thread>

#include "cpu/cpu_state.h"
#include "support/test_support.h"

namespace {

struct CpuCase {
    const char* what;
    const char* before;  // "a=7f c=1 @0010=ff": registers, flags, memory (hex)
    const char* code;    // placed at `at`, where execution starts
    const char* after;   // the same, plus result= and cycles= (decimal)
    int steps = 1;       // cpuRun's stepCount; 0 runs to the $00
    uint16_t at = 0x1000;
};

// The field a "name=value" item of a case names.
uint8_t* field(const std::string& name) {
    static const std::map<std::string, uint8_t*> fields = {
        {"a", &cpu.a}, {"x", &cpu.x}, {"y", &cpu.y}, {"sp", &cpu.sp}, {"n", &cpu.n}, {"v", &cpu.v},
        {"b", &cpu.b}, {"d", &cpu.d}, {"i", &cpu.i}, {"z", &cpu.z},   {"c", &cpu.c}};
    return name[0] == '@' ? &cpu.memory[std::stoul(name.substr(1), nullptr, 16)] : fields.at(name);
}

// Calls `each(name, value)` for every "name=value" item of the text.
template <class F>
void forEachItem(const char* text, F each) {
    std::istringstream in(text);
    for (std::string item; in >> item;) {
        std::string name = item.substr(0, item.find('='));
        each(name, std::stoul(item.substr(name.size() + 1), nullptr, name == "cycles" ? 10 : 16));
    }
}

// clang-format off
const CpuCase kCases[] = {
    // Addressing wraps
    {"zp,X wraps in page zero (read)", "x=02 @0001=5a", "b5 ff", "a=5a"},
    {"zp,X wraps in page zero (store)", "x=02 a=77", "95 ff", "@0001=77"},
    {"zp,X wraps in page zero (RMW)", "x=02 @0001=41", "f6 ff", "@0001=42"},
    {"zp,Y wraps (LDX)", "y=20 @0010=33", "b6 f0", "x=33"},
    {"zp,Y wraps (STX)", "y=20 x=44", "96 f0", "@0010=44"},
    {"abs,X wraps at ffff", "x=02 @0001=66", "bd ff ff", "a=66"},
    {"(zp),Y pointer at ff reads 0100", "@00ff=34 @0100=12 @1234=99", "b1 ff", "a=99"},
    {"(zp,X) pointer not wrapped", "x=20 @0110=00 @0111=20 @2000=ab", "a1 f0", "a=ab"},
    {"(zp,X) pointer across 00ff", "x=0f @00ff=00 @0100=30 @3000=cd", "a1 f0", "a=cd"},
    {"JMP (10ff) reads 1100", "@10ff=34 @1100=12", "6c ff 10", "pc=1234"},
    {"operand bytes wrap at ffff", "@0000=34 @0001=12 @1234=77", "ad", "a=77 pc=0002", 1, 0xFFFF},
    {"branch forward 7f", "c=0", "90 7f", "pc=2171", 1, 0x20F0},
    {"branch back 80", "c=0", "90 80", "pc=2072", 1, 0x20F0},
    {"branch to next page", "z=0", "d0 00", "pc=1100", 1, 0x10FE},
    {"branch onto itself", "z=0", "d0 fe", "pc=1000 cycles=2"},
    {"branch not taken", "z=1", "d0 fe", "pc=1002 cycles=2"},
    // Stack
    {"pull from empty stack", "a=55", "68", "a=00 z=1 n=0 sp=ff"},
    {"PLA of 80", "sp=fe @01ff=80", "68", "a=80 n=1 z=0 sp=ff"},
    {"push at sp 00 wraps", "sp=00 a=5a", "48", "@0100=5a sp=ff"},
    {"PHP after reset pushes 00", "", "08", "@01ff=00 sp=fe"},
    {"PLP ff then PHP pushes df", "sp=fe @01ff=ff", "28 08", "n=1 v=1 b=1 d=1 i=1 z=1 c=1 @01ff=df",
     2},
    {"JSR pushes the last byte's address", "", "20 00 20", "pc=2000 sp=fd @01ff=10 @01fe=02"},
    {"RTS after JSR", "@2000=60", "20 00 20", "pc=1003 sp=ff", 2},
    {"RTS on empty stack", "", "60", "pc=0001"},
    {"RTI on empty stack", "n=1 c=1 d=1", "40", "pc=0000 n=0 c=0 d=0"},
    {"TXS keeps flags, TSX sets them", "x=00 n=1 z=0", "9a", "sp=00 n=1 z=0"},
    {"TSX of 00", "sp=00", "ba", "x=00 z=1"},
    // Logic and compares
    {"BIT sets N V Z", "a=00 @0010=c0", "24 10", "z=1 n=1 v=1 a=00"},
    {"BIT clears N V Z", "a=ff @0010=01", "24 10", "z=0 n=0 v=0"},
    {"CMP equal", "a=00", "c9 00", "z=1 c=1 n=0"},
    {"CPX less", "x=00", "e0 01", "z=0 c=0 n=1"},
    // Binary arithmetic
    {"ADC overflow", "a=7f", "69 01", "a=80 n=1 v=1 c=0 z=0"},
    {"ADC carry", "a=ff", "69 01", "a=00 z=1 c=1 v=0"},
    {"SBC borrow", "a=00 c=1", "e9 01", "a=ff c=0 n=1 v=0"},
    {"SBC overflow", "a=80 c=1", "e9 01", "a=7f c=1 v=1"},
    // Decimal arithmetic
    {"ADC decimal 09+01", "d=1 a=09", "69 01", "a=10 c=0"},
    {"ADC decimal 99+01, Z kept", "d=1 a=99 z=0", "69 01", "a=00 c=1 z=0"},
    {"ADC decimal 58+46+1", "d=1 a=58 c=1", "69 46", "a=05 c=1"},
    {"SBC decimal 10-01", "d=1 a=10 c=1", "e9 01", "a=09 c=1"},
    {"SBC decimal 00-01", "d=1 a=00 c=1", "e9 01", "a=99 c=0 n=1"},
    {"SBC decimal 00-00-1", "d=1 a=00 c=0", "e9 00", "a=99 c=0"},
    {"SBC decimal 46-12, Z kept", "d=1 a=46 c=1 z=1", "e9 12", "a=34 c=1 z=1"},
    // Shifts, increments
    {"LSR of 01", "a=01 n=1", "4a", "a=00 c=1 z=1 n=0"},
    {"ROR of 01 with carry", "a=01 c=1", "6a", "a=80 c=1 n=1"},
    {"ROL through carry", "c=1 @0010=80", "26 10", "@0010=01 c=1 z=0"},
    {"ASL absolute,X", "x=01 @2001=41", "1e 00 20", "@2001=82 c=0 n=1"},
    {"INC of ff", "@0010=ff", "e6 10", "@0010=00 z=1"},
    {"DEC of 00", "@0010=00", "c6 10", "@0010=ff n=1"},
    // The loop
    {"$00 ends the run", "", "00", "pc=1000 result=1 cycles=7", 0},
    {"undocumented opcode changes nothing", "a=11 c=1", "02", "pc=1000 a=11 c=1 result=2 cycles=0"},
    {"three steps", "", "e8 e8 e8 e8", "x=03 pc=1003 result=0", 3},
    {"stop at $00 within steps", "", "e8 00 e8", "x=01 pc=1001 result=1", 3},
    {"LDA STA RTS cycle total", "", "a9 0f 8d 18 d4 60", "a=0f @d418=0f pc=0001 cycles=19", 0},
    {"taken branches cost 2", "", "a2 03 ca d0 fd 8e 00 d4 60", "@d400=00 cycles=31", 0},
};

// The undocumented instructions, executed (--undocumented): a case per
// family and the rules the recorded cases leave out (indexing across a page
// for SHA, SHX, SHY and TAS).
const CpuCase kUndocumentedCases[] = {
    {"SLO zp: ASL, then ORA", "a=01 @0010=81", "07 10", "@0010=02 a=03 c=1 cycles=5"},
    {"RLA abs,X: ROL, then AND", "c=1 x=01 a=0f @2001=81", "3f 00 20", "@2001=03 a=03 c=1 cycles=7"},
    {"SRE (zp),Y: LSR, then EOR", "@0010=00 @0011=20 y=05 @2005=03 a=01", "53 10", "@2005=01 a=00 z=1 c=1 cycles=8"},
    {"RRA: ROR, then decimal ADC", "d=1 c=1 a=15 @0010=0c", "67 10", "@0010=86 a=01 c=1"},
    {"DCP (zp,X) pointer not wrapped", "x=20 @0110=00 @0111=30 @3000=43 a=42", "c3 f0", "@3000=42 z=1 c=1 cycles=8"},
    {"ISC abs,Y: INC, then SBC", "y=02 c=1 a=10 @2002=04", "fb 00 20", "@2002=05 a=0b c=1 cycles=7"},
    {"SAX zp,Y wraps in page zero", "a=f0 x=3c y=20", "97 f0", "@0010=30 cycles=4"},
    {"LAX (zp),Y", "@0010=00 @0011=20 y=01 @2001=80", "b3 10", "a=80 x=80 n=1 cycles=5"},
    {"LXA #0 clears A and X", "a=ff x=12", "ab 00", "a=00 x=00 z=1"},
    {"ANE uses the constant ee", "a=01 x=ff", "8b 3f", "a=2f"},
    {"ANC: C from bit 7", "a=ff", "0b 80", "a=80 c=1 n=1"},
    {"ALR: AND, then LSR", "a=ff", "4b 03", "a=01 c=1"},
    {"ARR binary", "a=ff c=1", "6b ff", "a=ff c=1 v=0 n=1"},
    {"ARR decimal corrects both digits", "d=1 a=ff", "6b 5b", "a=83 c=1 v=1 n=0"},
    {"SBX", "a=f0 x=3c", "cb 10", "x=20 c=1"},
    {"SBC eb is SBC immediate", "a=10 c=1", "eb 01", "a=0f c=1"},
    {"SHA abs,Y within the page", "a=f0 x=3f y=10", "9f 00 12", "@1210=10 cycles=5"},
    {"SHA abs,Y across a page", "a=f0 x=3f y=20", "9f f0 12", "@1010=10 @1310=00"},
    {"SHA (zp),Y across a page", "@0010=f0 @0011=12 a=f0 x=3f y=20", "93 10", "@1010=10 @1310=00 cycles=6"},
    {"SHX across a page", "x=0f y=20", "9e f0 20", "@0110=01 @2110=00"},
    {"SHY across a page", "y=0f x=20", "9c f0 20", "@0110=01 @2110=00"},
    {"TAS: S = A & X, stored across a page", "a=ff x=0e y=10 @0008=77", "9b f8 30", "@0008=00 sp=0e"},
    {"LAS", "sp=f3 y=05 @2005=3f", "bb 00 20", "a=33 x=33 sp=33 cycles=4"},
    {"NOP zp", "", "04 10", "pc=1002 cycles=3"},
    {"NOP abs,X", "", "fc 00 20", "pc=1003 cycles=4"},
    {"JAM ends the call", "a=11", "02", "pc=1000 a=11 result=2 cycles=0", 0},
    {"a run on past ffff", "", "ea", "pc=0000 result=1", 0, 0xFFFF},
};
// clang-format on

void runCase(const CpuCase& c, bool undocumented) {
    loadCode(c.code, c.at);
    cpuSetUndocumented(undocumented);
    forEachItem(c.before, [](const std::string& name, unsigned long value) {
        *field(name) = static_cast<uint8_t>(value);  // memory set before the first run
    });
    const int result = cpuRun(static_cast<uint16_t>(c.steps));
    forEachItem(c.after, [&](const std::string& name, unsigned long value) {
        unsigned long actual = name == "result"   ? static_cast<unsigned long>(result)
                               : name == "cycles" ? cpu.cycleTotal
                               : name == "pc"     ? cpu.pc
                                                  : *field(name);
        EXPECT_EQ(actual, value) << c.what << ": " << name;
    });
}

class CpuCaseTest : public testing::TestWithParam<CpuCase> {};
TEST_P(CpuCaseTest, Runs) {
    runCase(GetParam(), false);
}
INSTANTIATE_TEST_SUITE_P(Table, CpuCaseTest, testing::ValuesIn(kCases),
                         [](const auto& p) { return "case" + std::to_string(p.index); });

class UndocumentedCaseTest : public testing::TestWithParam<CpuCase> {};
TEST_P(UndocumentedCaseTest, Runs) {
    runCase(GetParam(), true);
}
INSTANTIATE_TEST_SUITE_P(Table, UndocumentedCaseTest, testing::ValuesIn(kUndocumentedCases),
                         [](const auto& p) { return "case" + std::to_string(p.index); });

// The image starts a page of the host in every thread (emulated address A at
// page offset A & $FFF), the main thread's and a collection's.
TEST(CpuState, ImageIsPageAlignedInEveryThread) {
    const auto pageOffset = [] { return reinterpret_cast<uintptr_t>(cpu.memory.data()) % 4096; };
    EXPECT_EQ(pageOffset(), 0u);
    uintptr_t other = 1;
    std::thread([&] { other = pageOffset(); }).join();
    EXPECT_EQ(other, 0u);
}

TEST(CpuReset, ClearsEverythingAndKeepsCycleTotal) {
    loadCode("a9 01 00");
    cpuRun(0);
    ASSERT_EQ(cpu.cycleTotal, 9u);
    cpuReset();
    EXPECT_EQ(cpu.cycleTotal, 9u);
    EXPECT_EQ(cpu.sp, 0xFF);
    EXPECT_EQ(cpu.a | cpu.x | cpu.y | cpu.pc | statusByte(), 0);
    for (size_t k = 0; k < kMemorySize; ++k) ASSERT_EQ(cpu.memory[k], 0) << k;
    EXPECT_EQ(cpu.opcodeCycles, kBaseCycles);  // checked opcode by opcode against the trace table
}

}  // namespace
