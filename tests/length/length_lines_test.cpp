// The length lines of --length: silent songs whose machine state repeats,
// and the files that end where the song repeats.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_support.h"

namespace {

// Silent songs whose machine state repeats, stays the same, or does not
// repeat within the calls run: nothing is heard, so a song that repeats ends
// at once, and the exact repeat is named.
struct LengthCase {
    const char* what;
    const char* start;
    const char* play;  // at $1020
    const char* calls;
    const char* line;
};

#define ENDS_AT_ONCE "Song 1 of 1 lasts 0:00.01 (0 calls), then ends\n"

// clang-format off
const LengthCase kLengths[] = {
    // INC $FB; LDA $FB; CMP #5; BNE +4; LDA #0; STA $FB: a count of 5. After
    // the start routine $FB and A are 0 as after call 5, but C is clear, not
    // set: the state after call 1 is the first to come back, at call 6.
    {"a loop of five calls", "a9 00 85 fb 60", "e6 fb a5 fb c9 05 d0 04 a9 00 85 fb 60", "",
     ENDS_AT_ONCE "Exact repeat: the state after call 6 is the state after call 1"},
    // LDA $FB; EOR #1; STA $FB; LDA #0: the state after the start routine
    // (LDA #0) comes back every second call.
    {"the start routine's state comes back", "a9 00 60", "a5 fb 49 01 85 fb a9 00 60", "100",
     ENDS_AT_ONCE "Exact repeat: the state after call 2 is the state after call 0"},
    {"no change after the first call", "60", "a9 0f 8d 18 d4 60", "",
     ENDS_AT_ONCE "Exact repeat: the state after call 2 is the state after call 1"},
    {"nothing ever changes", "60", "60", "",
     ENDS_AT_ONCE "Exact repeat: the state after call 1 is the state after call 0"},
    // INC $FB; BNE +2; INC $FC: 65536 states.
    {"a 16-bit counter", "60", "e6 fb d0 02 e6 fc 60", "3000",
     "Song 1 of 1: no repeat within 3000 calls (0:59.87)"},
    // The repeat table keeps 65536 states, then every second call's, every
    // fourth's... The start routine sets $FE, the first call clears it: the
    // period begins at call 1. A 16-bit counter comes back to the state after
    // call 1 at call 65537, but the table was thinned at call 65536 to the
    // even calls: the repeat is seen at call 65538, the same period.
    {"a period past the table's room", "a9 01 85 fe 60",
     "e6 fb d0 06 e6 fc ea ea ea ea a9 00 85 fe 60", "70000",
     ENDS_AT_ONCE "Exact repeat: the state after call 65538 is the state after call 2"},
    // A 17-bit counter: thinned again at call 131072, to multiples of four.
    {"a period past two thinnings", "a9 01 85 fe 60",
     "e6 fb d0 0a e6 fc d0 06 a5 fd 49 01 85 fd a9 00 85 fe 60", "140000",
     ENDS_AT_ONCE "Exact repeat: the state after call 131076 is the state after call 4"},
    {"a 24-bit counter, 30 minutes", "60", "e6 fb d0 06 e6 fc d0 02 e6 fd 60", "",
     "Song 1 of 1: no repeat within 90224 calls (30:00.01)"},
};
// clang-format on

void PrintTo(const LengthCase& c, std::ostream* out) {
    *out << c.what;
}

class Length : public testing::TestWithParam<LengthCase> {};

Bytes lengthTune(const LengthCase& c) {
    return psidFile({.play = 0x1020, .data = codeAt(c.start, c.play, 0x20)});
}

TEST_P(Length, SaidAfterFinishedInBothModes) {
    const LengthCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", lengthTune(c));
    for (const char* asmFlag : {"0", "1"}) {
        // The trace of 90224 calls is long: the disassembly mode gets 3000;
        // it is not asked for runs of more than 10000 calls.
        const bool longRun =
            (c.calls[0] == '\0' && std::string(c.line).find("90224") != std::string::npos) ||
            std::atoi(c.calls) > 10000;
        if (asmFlag[0] == '1' && longRun) continue;
        std::vector<std::string> args{"t.sid"};
        if (c.calls[0] != '\0' || asmFlag[0] == '1') args.push_back(c.calls[0] ? c.calls : "3000");
        if (asmFlag[0] == '1') args.insert(args.end(), {"1", "1"});
        args.push_back("--length");
        const RunResult r = runVoxdump(dir.path, args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out.ends_with(std::string("Finished!\n") + c.line + "\n")) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Length, testing::ValuesIn(kLengths));

// The files cover the calls run: the log ends with the call that repeats,
// the table with the console's lines.
TEST(Length, FilesEndWhereTheSongRepeats) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", lengthTune(kLengths[0]));
    const RunResult r = runVoxdump(dir.path, {"t.sid", "--length", "--table", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Logging 90224 play-routine calls to t.log!\n"), std::string::npos);
    EXPECT_TRUE(readFile(dir.path / "t.log").ends_with("\n#6\n"));
    const std::string table = readFile(dir.path / "t.tab");
    EXPECT_NE(table.find("and up to 90224 play calls, until the song repeats\n"),
              std::string::npos);
    EXPECT_TRUE(table.ends_with(
        "\n    6     25 00:00.11  .    .        .    .  .  .  .   .    .    .        .    .  .  .  "
        ".   "
        ".    .    .        .    .  .  .  .   .    .   .  .\n"
        "\n" ENDS_AT_ONCE "Exact repeat: the state after call 6 is the state after call 1\n"))
        << table.substr(table.size() - 300);
}

// Past 262144 calls the notes are kept in entries of 2, then 4 calls: a
// sweep of voice 1 (its frequency's high byte from a counter: a new step
// every 256 calls, the sweep every 65536) whose state repeats after 2^19
// calls (the counter's 19 bits), called 3848 times a second. The state's
// repeat and the music's own period, a divisor of it, come out exact. The
// state after call 0 (A as the start routine left it) never comes back; by
// then the state table keeps every 16th call's, so the first kept in the
// period is call 16's.
TEST(Length, PastTheBoundOfTheNotesKept) {
    ScratchDir dir;
    // Start: timer latch $00FF, full volume, a held triangle.
    const char* start =
        "a9 ff 8d 04 dc a9 00 8d 05 dc a9 0f 8d 18 d4 a9 f0 8d 06 d4 a9 11 8d 04 d4 60";
    // Play: INC $20; BNE +12; INC $21; BNE +8; INC $22; LDA $22; AND #7;
    // STA $22; LDA $21; STA $D401.
    const char* play = "e6 20 d0 0c e6 21 d0 08 e6 22 a5 22 29 07 85 22 a5 21 8d 01 d4 60";
    writeFile(dir.path / "t.sid",
              psidFile({.play = 0x1020, .speed = 1, .data = codeAt(start, play, 0x20)}));
    const RunResult r = runVoxdump(dir.path, {"t.sid", "--length"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(65536 calls), then repeats from 0:00.00 (call 1)\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Exact repeat: the state after call 524304 is the state after call 16\n"),
              std::string::npos)
        << r.out;
}

}  // namespace
