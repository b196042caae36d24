// The real binary on PSID files made here: whole console output and whole
// output files. The header report's own format is checked in the loader's
// tests; here each file must begin with the report that the console shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Start routine LDA #$0F, STA $D418, RTS; play routine at $1006
// LDA #$20, STA $D400, INC $D401, RTS.
const Psid kLogTune{.play = 0x1006,
                    .data = hexBytes("a9 0f 8d 18 d4 60 a9 20 8d 00 d4 ee 01 d4 60")};
// Start routine LDA #$00, STA $D418, RTS; play routine at $1006
// LDA $1100, STA $D401, RTS. Two NOPs stand before the start routine.
const Psid kDisTune{.load = 0x0FFE,
                    .play = 0x1006,
                    .data = hexBytes("ea ea a9 00 8d 18 d4 60 ad 00 11 8d 01 d4 60")};
// The start routine meets opcode $53; the play routine writes $D418, then
// waits for ever for the raster line to leave 0.
const Psid kStuckTune{.play = 0x1002, .data = hexBytes("ea 53 8d 18 d4 ad 12 d0 f0 fb")};
const Psid kBumpTune{.play = 0x1000, .data = hexBytes("8d 94 50 60")};
// A 1 KB-style player: LXA #0 in the start routine, then LDA #$81 and
// STA $D401; the play routine at $1008 is ISC $FB, STA $D400, SLO $D401.
const Psid kUndocumentedTune{
    .play = 0x1008, .data = hexBytes("ab 00 a9 81 8d 01 d4 60 e7 fb 8d 00 d4 0f 01 d4 60")};
// The start routine stores A, which holds the song number, in $D418.
const Psid kSongTune{.play = 0x1004, .songs = 256, .data = hexBytes("8d 18 d4 60 60")};

#define START                                                                                      \
    ";1000   a9 00      LDA #00\n;1002   8d 18 d4   STA D418\n;1005   60         RTS \n;1   00   " \
    "      BRK \n"
#define PLAY                                                                                       \
    ";1006   ad 00 11   LDA 1100\n;1009   8d 01 d4   STA D401\n;100c   60         RTS \n;1   00  " \
    "       BRK \n"
#define SPIN ";1005   ad 12 d0   LDA D012\n;1008   f0 fb      BEQ FB\n"
#define LOAD "Starting execution at load address!\n"
#define INIT "Starting execution at init address!\n"
#define TO_DIS "Logging disassembly to demo.dis!\nFinished!\n"
#define STUCK                                                                 \
    "voxdump: start routine: undocumented opcode 53 at 1001; call ended "     \
    "(--undocumented runs it)\nvoxdump: play call #1: endless loop at 1005; " \
    "call ended\n"
// A run that stored nothing into the sound chip from the load address.
#define SILENT_LOAD                                                                         \
    "voxdump: demo.sid: nothing was stored into the sound chip from the load address; the " \
    "third argument 1 (start at init), --song or --length starts it as a player does\n"
#define NOT_RUN(call, opcode, at)                              \
    "voxdump: " call ": undocumented opcode " opcode " at " at \
    "; call ended (--undocumented runs it)\n"

struct Case {
    const Psid* tune;
    const char* args;  // after the tune's name
    const char* err;
    const char* out;   // standard output after the header report
    const char* file;  // the output file after the header report
};

// clang-format off
const Case kCases[] = {
    {&kLogTune, "2", "", LOAD "Logging 2 play-routine calls to demo.log!\nFinished!\n",
     "\n\n00006 d418 0f\n\n#1\n00006 d400 20\n00012 d401 01\n\n#2\n00006 d400 20\n00012 d401 02\n"},
    {&kLogTune, "1 1", "", INIT "Logging 1 play-routine calls to demo.log!\nFinished!\n",
     "\n\n00006 d418 0f\n\n#1\n00006 d400 20\n00012 d401 01\n"},
    {&kDisTune, "2 1 1", "", INIT TO_DIS, "\ninit:\n" START "\n#1:\n" PLAY "\n#2:\n" PLAY},
    {&kDisTune, "1 0 1", "", LOAD TO_DIS, "\nload:\n;ffe   ea         NOP \n;fff   ea         NOP \n" START "\n#1:\n" PLAY},
    {&kDisTune, "0 1 1", "", INIT TO_DIS, "\ninit:\n" START},
    // The play calls' diagnostics that say the same, one line.
    {&kStuckTune, "2", "voxdump: start routine: undocumented opcode 53 at 1001; call ended (--undocumented runs it)\n"
     "voxdump: play calls #1 to #2: endless loop at 1005; call ended (2 times)\n",
     LOAD "Logging 2 play-routine calls to demo.log!\nFinished!\n", "\n\n\n#1\n00004 d418 00\n\n#2\n00004 d418 00\n"},
    {&kStuckTune, "1 0 1", STUCK, LOAD TO_DIS,
     "\nload:\n;1000   ea         NOP \n;1001   53         unknown \n\n#1:\n;1002   8d 18 d4   STA D418\n" SPIN SPIN},
    {&kBumpTune, "1", SILENT_LOAD, LOAD "Logging 1 play-routine calls to demo.log!\nBUMP\nBUMP\nFinished!\n", "\n\n\n#1\n"},
    {&kBumpTune, "1 0 1", SILENT_LOAD, LOAD "Logging disassembly to demo.dis!\nBUMP\nBUMP\nFinished!\n",
     "\nload:\n;1000   8d 94 50   STA 5094\n;1003   60         RTS \n;1   00         BRK \n\n#1:\n"
     ";1000   8d 94 50   STA 5094\n;1003   60         RTS \n;1   00         BRK \n"},
    {&kUndocumentedTune, "2", NOT_RUN("start routine", "ab", "1000") 
     "voxdump: play calls #1 to #2: undocumented opcode e7 at 1008; call ended (--undocumented runs it) (2 times)\n", LOAD "Logging 2 play-routine calls to demo.log!\nFinished!\n",
     "\n\n\n#1\n\n#2\n"},
    {&kUndocumentedTune, "--undocumented 2", "", LOAD "Logging 2 play-routine calls to demo.log!\nFinished!\n",
     "\n\n00008 d401 81\n\n#1\n00009 d400 7f\n00015 d401 02\n\n#2\n00009 d400 7d\n00015 d401 04\n"},
    {&kUndocumentedTune, "1 0 1 --undocumented", "", LOAD TO_DIS,
     "\nload:\n;1000   ab 00      LXA #00\n;1002   a9 81      LDA #81\n;1004   8d 01 d4   STA D401\n"
     ";1007   60         RTS \n;1   00         BRK \n\n#1:\n;1008   e7 fb      ISC FB\n"
     ";100a   8d 00 d4   STA D400\n;100d   0f 01 d4   SLO D401\n;1010   60         RTS \n;1   00         BRK \n"},
    {&kSongTune, "1", "", LOAD "Logging 1 play-routine calls to demo.log!\nFinished!\n", "\n\n00004 d418 00\n\n#1\n"},
    {&kSongTune, "--song=1 1", "", INIT "Logging 1 play-routine calls to demo.log!\nFinished!\n", "\n\n00004 d418 00\n\n#1\n"},
    {&kSongTune, "1 --song=3", "", INIT "Logging 1 play-routine calls to demo.log!\nFinished!\n", "\n\n00004 d418 02\n\n#1\n"},
    {&kSongTune, "1 1 --song=256", "", INIT "Logging 1 play-routine calls to demo.log!\nFinished!\n", "\n\n00004 d418 ff\n\n#1\n"},
};
// clang-format on

class EndToEnd : public testing::TestWithParam<Case> {};

TEST_P(EndToEnd, WholeOutput) {
    const Case& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "demo.sid", psidFile(*c.tune));
    std::vector<std::string> args{"demo.sid"};
    std::istringstream in(c.args);
    int positional = 1;
    for (std::string arg; in >> arg;) {
        args.push_back(arg);
        positional += arg.starts_with("--") ? 0 : 1;
    }
    const bool dis = positional == 4;
    RunResult r = runVoxdump(dir.path, args);
    const std::string header = r.out.substr(0, r.out.find("Starting execution"));
    EXPECT_TRUE(header.starts_with("Version 1 header:\nID: PSID\nVersion: 2\n")) << header;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, header + c.out);
    EXPECT_EQ(readFile(dir.path / (dis ? "demo.dis" : "demo.log")), header + c.file);
    EXPECT_FALSE(fs::exists(dir.path / (dis ? "demo.log" : "demo.dis")));
}

INSTANTIATE_TEST_SUITE_P(Table, EndToEnd, testing::ValuesIn(kCases));

TEST(EndToEndUsage, NineLinesAndNoFile) {
    ScratchDir dir;
    const std::string usage =
        "\nUsage: voxdump filename [calls] [init] [asm]\n"
        "calls ... number of play-routine calls, default is 3000\n"
        "init  ... start execution at init address instead of load address, default is 0\n"
        "asm   ... write disassembly instead of SID register writes, default is 0\n"
        "Example: voxdump demo.sid 6000\n"
        "Runs 6000 play-routine calls, SID register writes are written to demo.log\n"
        "Example: voxdump demo.sid 10 0 1\n"
        "Runs 10 play-routine calls, execution at load address, disassembly to demo.dis\n";
    for (auto args : {std::vector<std::string>{}, {"-h"}, {"--help"}, {"t.sid", "--help"}}) {
        RunResult r = runVoxdump(dir.path, args);
        EXPECT_EQ(r.status, 0);
        // With -h or --help the options follow.
        EXPECT_EQ(r.out.substr(0, usage.size()), usage);
        EXPECT_EQ(r.out.size() > usage.size(), !args.empty());
        if (!args.empty()) {
            EXPECT_NE(r.out.find("\n--song N "), std::string::npos);
        }
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(fs::is_empty(dir.path));
}

// INX / BNE back, 256 rounds of 4 cycles, then RTS: start and play routine.
const Psid kLoopTune{.play = 0x1000, .data = hexBytes("e8 d0 fd 60")};

TEST(CycleBudget, EndsEachCallAtExactlyNCyclesInBothModes) {
    ScratchDir dir;
    writeFile(dir.path / "demo.sid", psidFile(kLoopTune));
    // INX 2, BNE 4, INX 6, BNE 8, INX 10: the BNE would take the call to 12.
    const std::string stops =
        "voxdump: start routine: cycle budget 10 reached at 1001; call ended\n"
        "voxdump: play calls #1 to #2: cycle budget 10 reached at 1001; call ended (2 times)\n";
    const std::string trace =
        ";1000   e8         INX \n;1001   d0 fd      BNE FD\n;1000   e8         INX \n"
        ";1001   d0 fd      BNE FD\n;1000   e8         INX \n;1001   d0 fd      BNE FD\n";
    for (const char* asmFlag : {"0", "1"}) {
        RunResult r =
            runVoxdump(dir.path, {"demo.sid", "2", "0", asmFlag, "--max-cycles", "10", "--table"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, stops);
        EXPECT_TRUE(r.out.ends_with("Finished!\n"));
        EXPECT_EQ(tableCycles(readFile(dir.path / "demo.tab")),
                  (std::vector<uint64_t>{10, 10, 10}));
    }
    EXPECT_TRUE(readFile(dir.path / "demo.log").ends_with("\n\n\n#1\n\n#2\n"));
    EXPECT_TRUE(readFile(dir.path / "demo.dis")
                    .ends_with("\nload:\n" + trace + "\n#1:\n" + trace + "\n#2:\n" + trace));
}

// A budget of exactly the longest call's cycles (its final $00 included)
// changes nothing; one cycle less ends that call early.
TEST(CycleBudget, BudgetOfTheLongestCallChangesNothing) {
    std::vector<fs::path> tunes = {fs::path(VOXDUMP_SOURCE_DIR) / "examples/arpeggio.sid"};
    if (!sharedDir().empty()) {
        for (const auto& entry : fs::recursive_directory_iterator(sharedDir() / "tunes"))
            if (entry.path().extension() == ".sid") tunes.push_back(entry.path());
    }
    ScratchDir dir;
    for (const fs::path& tune : tunes) {
        fs::copy_file(tune, dir.path / "t.sid", fs::copy_options::overwrite_existing);
        for (const char* asmFlag : {"0", "1"}) {
            const fs::path output = dir.path / (asmFlag[0] == '1' ? "t.dis" : "t.log");
            const std::vector<std::string> args = {"t.sid", "30", "1", asmFlag, "--table"};
            const RunResult plain = runVoxdump(dir.path, args);
            const std::string file = readFile(output), table = readFile(dir.path / "t.tab");
            const std::vector<uint64_t> cycles = tableCycles(table);
            const uint64_t longest = *std::max_element(cycles.begin(), cycles.end());
            std::vector<std::string> budget = args;
            budget.push_back("--max-cycles=" + std::to_string(longest));
            const RunResult same = runVoxdump(dir.path, budget);
            EXPECT_EQ(same.status, plain.status) << tune;
            EXPECT_EQ(same.out, plain.out) << tune;
            EXPECT_EQ(same.err, plain.err) << tune;
            EXPECT_EQ(readFile(output), file) << tune;
            EXPECT_EQ(readFile(dir.path / "t.tab"), table) << tune;
            budget.back() = "--max-cycles=" + std::to_string(longest - 1);
            const RunResult less = runVoxdump(dir.path, budget);
            EXPECT_NE(
                less.err.find(": cycle budget " + std::to_string(longest - 1) + " reached at "),
                std::string::npos)
                << tune;
        }
    }
}

}  // namespace
