#include <gtest/gtest.h>

#include <sstream>

#include "driver/arguments.h"

namespace {

// The call counts the end-to-end matrix does not run.
TEST(Arguments, CallCountLimits) {
    const struct {
        const char* text;
        bool ok;
        int32_t count;
    } cases[] = {{"2147483647", true, 2147483647},
                 {"2147483648", false, -1},
                 {"-0", true, 0},
                 {"\t\n5", true, 5},
                 {"-abc", true, 0},
                 {"", true, 0}};
    for (const auto& c : cases) {
        int32_t count = -1;
        EXPECT_EQ(parseCallCount(c.text, count), c.ok) << c.text;
        EXPECT_EQ(count, c.count) << c.text;
    }
}

// The flags and the other arguments are run end to end in the bad-input matrix.
TEST(Arguments, OutputNames) {
    EXPECT_EQ(outputName("demo.sid", "log"), "demo.log");
    EXPECT_EQ(outputName("tune.psid", "dis"), "tune.pdis");
    EXPECT_EQ(outputName("tune", "log"), "tlog");
    EXPECT_EQ(outputName("dir.x/ab", "log"), "dir.x/ab.log");
    EXPECT_EQ(outputName("abc", "dis"), "dis");
    EXPECT_EQ(outputName("music/demo.sid", "tab"), "music/demo.tab");
}

struct OptionCase {
    const char* line;  // the arguments after the program's name
    Command command;
    // "tune calls init asm undocumented song table roll midi max-cycles", or the problem
    const char* result;
};

// clang-format off
const OptionCase kOptionCases[] = {
    {"t.sid", Command::Run, "t.sid 3000 0 0 0 0 0 0 0 0"},
    {"t.sid --undocumented", Command::Run, "t.sid 3000 0 0 1 0 0 0 0 0"},
    {"--song 3 t.sid 5", Command::Run, "t.sid 5 0 0 0 3 0 0 0 0"},
    {"t.sid --song=256", Command::Run, "t.sid 3000 0 0 0 256 0 0 0 0"},
    {"t.sid 10 --table 1 --roll 1 --midi", Command::Run, "t.sid 10 1 1 0 0 1 1 1 0"},
    {"--midi -- --odd.sid 2", Command::Run, "--odd.sid 2 0 0 0 0 0 0 1 0"},
    {"t.sid 1 0 1 extra --table", Command::Run, "t.sid 1 0 1 0 0 1 0 0 0"},
    {"t.sid --max-cycles 1000000", Command::Run, "t.sid 3000 0 0 0 0 0 0 0 1000000"},
    {"--max-cycles=4294967295 t.sid 2", Command::Run, "t.sid 2 0 0 0 0 0 0 0 4294967295"},
    {"t.sid --max-cycles=0", Command::BadUsage, "invalid cycle budget '0'"},
    {"t.sid --max-cycles -5", Command::BadUsage, "invalid cycle budget '-5'"},
    {"t.sid --max-cycles=4294967296", Command::BadUsage, "invalid cycle budget '4294967296'"},
    {"t.sid --max-cycles 1e6", Command::BadUsage, "invalid cycle budget '1e6'"},
    {"t.sid --max-cycles", Command::BadUsage, "option '--max-cycles' needs a number of cycles"},
    {"t.sid --foo", Command::BadUsage, "unknown option '--foo'"},
    {"t.sid --undocumented=yes", Command::BadUsage, "option '--undocumented' takes no value"},
    {"t.sid --song 0", Command::BadUsage, "invalid song number '0'"},
    {"t.sid --song=257", Command::BadUsage, "invalid song number '257'"},
    {"t.sid --song=+3", Command::BadUsage, "invalid song number '+3'"},
    {"t.sid --song", Command::BadUsage, "option '--song' needs a song number"},
    {"t.sid -5", Command::BadUsage, "invalid number of calls '-5'"},
    {"--table", Command::BadUsage, "no tune file named (voxdump --help lists the arguments)"},
    {"t.sid -h", Command::Help, ""},
    {"--help --foo", Command::BadUsage, "unknown option '--foo'"},
    {"--version t.sid", Command::Version, ""},
};
// clang-format on

TEST(Arguments, Options) {
    for (const OptionCase& c : kOptionCases) {
        std::vector<std::string> words{"voxdump"};
        std::istringstream in(c.line);
        for (std::string word; in >> word;) words.push_back(word);
        std::vector<const char*> argv;
        for (const std::string& word : words) argv.push_back(word.c_str());
        RunSettings s;
        std::string problem;
        EXPECT_EQ(parseArguments(static_cast<int>(argv.size()), argv.data(), s, problem), c.command)
            << c.line;
        std::ostringstream got;
        if (c.command == Command::Run) {
            got << s.tuneFileName << ' ' << s.callCount << ' ' << s.startAtInit << ' '
                << s.disassemble << ' ' << s.undocumented << ' ' << s.song << ' ' << s.table << ' '
                << s.roll << ' ' << s.midi << ' ' << s.maxCycles;
        }
        EXPECT_EQ(c.command == Command::BadUsage ? problem : got.str(), c.result) << c.line;
    }
}

}  // namespace
