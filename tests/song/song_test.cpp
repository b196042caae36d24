// A song as a player plays it: where the run starts and with which song,
// how often the play routine is called, and how long the song lasts.
#include <gtest/gtest.h>

#include <sstream>

#include "song/call_rate.h"
#include "support/midi_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// The load address holds a routine that stores A in $D418, then $11 in
// $D400; the init address one that stores A, then $22; the play routine
// stores nothing.
Psid startTune(uint16_t startSong) {
    return {.init = 0x1010,
            .play = 0x1020,
            .songs = 3,
            .startSong = startSong,
            .data = hexBytes("8d 18 d4 a9 11 8d 00 d4 60 00 00 00 00 00 00 00 "
                             "8d 18 d4 a9 22 8d 00 d4 60 00 00 00 00 00 00 00 60")};
}

struct StartCase {
    const char* args;  // after the tune's name
    uint16_t startSong;
    const char* start;  // "load" or "init"
    const char* a;      // A at the start, as the log shows it
};

// clang-format off
const StartCase kStarts[] = {
    {"1", 1, "load", "00"},                  // no option: as always
    {"1 --undocumented", 2, "load", "00"},   // not an option of songs
    {"1 --table", 2, "init", "01"},          // the header's start song
    {"1 0 --table", 2, "load", "00"},        // the init argument is obeyed
    {"1 1 --table", 2, "init", "00"},
    {"1 --roll", 3, "init", "02"},
    {"1 --midi", 1, "init", "00"},
    {"1 --length", 3, "init", "02"},
    {"1 0 --length", 3, "load", "00"},
    {"1 --song 2", 3, "init", "01"},         // --song wins over the start song
    {"1 0 --song=2", 3, "load", "01"},
    {"1 1 --song=3", 1, "init", "02"},
    {"1 --table", 0, "init", "00"},          // start song 0 is song 1
    {"--midi 1", 3, "init", "02"},
};
// clang-format on

TEST(Start, AsAPlayerDoesWhenSongsAreStudied) {
    ScratchDir dir;
    for (const StartCase& c : kStarts) {
        writeFile(dir.path / "t.sid", psidFile(startTune(c.startSong)));
        std::vector<std::string> args{"t.sid"};
        std::istringstream in(c.args);
        for (std::string arg; in >> arg;) args.push_back(arg);
        const RunResult r = runVoxdump(dir.path, args);
        ASSERT_EQ(r.status, 0) << c.args << r.err;
        EXPECT_NE(r.out.find(std::string("Starting execution at ") + c.start + " address!\n"),
                  std::string::npos)
            << c.args;
        const std::string log = readFile(dir.path / "t.log");
        const std::string expected = std::string("\n\n00004 d418 ") + c.a + "\n00010 d400 " +
                                     (c.start[0] == 'l' ? "11" : "22") + "\n\n#1\n";
        EXPECT_TRUE(log.ends_with(expected)) << c.args << "\n" << log;
    }
}

// The .tab's clock line and the times of its calls.
struct RateCase {
    const char* what;
    uint16_t flags;
    uint32_t speed;
    const char* song;
    const char* start;  // the start routine, after which $1010 holds the play routine
    const char* play;
    const char* rate;   // as the table names it
    const char* times;  // of calls 0 to 4
};

// clang-format off
const RateCase kRates[] = {
    {"PAL screen", 0, 0, "1", "60", "60", "50.12 calls a second, the screen's rate",
     "00:00.00 00:00.01 00:00.03 00:00.05 00:00.07"},
    {"NTSC screen", 0x08, 0, "1", "60", "60", "59.83 calls a second, the screen's rate",
     "00:00.00 00:00.01 00:00.03 00:00.05 00:00.06"},
    {"a screen-timed song ignores the timer", 0, 2, "1", "a9 63 8d 04 dc a9 26 8d 05 dc 60", "60",
     "50.12 calls a second, the screen's rate", "00:00.00 00:00.01 00:00.03 00:00.05 00:00.07"},
    {"latch set by the start routine", 0, 1, "1", "a9 63 8d 04 dc a9 26 8d 05 dc 60", "60",
     "100.25 calls a second, CIA timer $2663", "00:00.00 00:00.00 00:00.01 00:00.02 00:00.03"},
    {"latch 0: the system's, PAL", 0, 1, "1", "60", "60", "60.00 calls a second, CIA timer $4025",
     "00:00.00 00:00.01 00:00.03 00:00.05 00:00.06"},
    {"latch 0: the system's, NTSC", 0x08, 1, "1", "60", "60",
     "60.00 calls a second, CIA timer $4295", "00:00.00 00:00.01 00:00.03 00:00.05 00:00.06"},
    // The play routine sets a latch of $9A2F (25 calls a second) in call 2.
    {"latch changed by a play call", 0, 1, "1", "a9 63 8d 04 dc a9 26 8d 05 dc 60",
     "e6 fb a5 fb c9 02 d0 0a a9 2f 8d 04 dc a9 9a 8d 05 dc 60",
     "100.25 calls a second, CIA timer $2663", "00:00.00 00:00.00 00:00.01 00:00.02 00:00.06"},
    {"song 33 reads bit 31", 0, 0x80000000, "33", "60", "60",
     "60.00 calls a second, CIA timer $4025", "00:00.00 00:00.01 00:00.03 00:00.05 00:00.06"},
    {"song 2 does not", 0, 0x80000000, "2", "60", "60", "50.12 calls a second, the screen's rate",
     "00:00.00 00:00.01 00:00.03 00:00.05 00:00.07"},
};
// clang-format on

void PrintTo(const RateCase& c, std::ostream* out) {
    *out << c.what;
}

// The code of a start routine at $1000 and a play routine at $1000 + `at`.
Bytes routines(const char* start, const char* play, size_t at) {
    Bytes code = hexBytes(start);
    code.resize(at, 0);
    const Bytes more = hexBytes(play);
    code.insert(code.end(), more.begin(), more.end());
    return code;
}

// A tune whose start routine is at $1000 and play routine at $1040.
Bytes rateTune(const RateCase& c) {
    return psidFile({.play = 0x1040,
                     .songs = 40,
                     .speed = c.speed,
                     .flags = c.flags,
                     .data = routines(c.start, c.play, 0x40)});
}

class Rate : public testing::TestWithParam<RateCase> {};

TEST_P(Rate, NamedAndTimedInTheTable) {
    const RateCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", rateTune(c));
    const RunResult r = runVoxdump(dir.path, {"t.sid", "4", "--table", "--song", c.song});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string table = readFile(dir.path / "t.tab");
    EXPECT_NE(table.find(std::string(" Hz, ") + c.rate + "\n"), std::string::npos) << table;
    std::string times;
    std::istringstream in(table.substr(table.find("\n    0 ") + 1));
    for (std::string line; std::getline(in, line) && !line.empty();) {
        if (!times.empty()) times += ' ';
        times += line.substr(13, 8);
    }
    EXPECT_EQ(times, c.times);
}

INSTANTIATE_TEST_SUITE_P(Table, Rate, testing::ValuesIn(kRates));

// The MIDI file keeps one tick a call: the tempo follows the period.
TEST(Rate, MidiTempoFollowsThePeriod) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", rateTune(kRates[6]));
    ASSERT_EQ(runVoxdump(dir.path, {"t.sid", "6", "--midi"}).status, 0);
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(midi.division, 100);  // 100.25 calls a second, rounded
    // 100 ticks of $2664 cycles, then of $9A30 cycles, in microseconds.
    const std::vector<MidiEvent> tempos = {{0, 0, -1, 0x51, 997515, 0, ""},
                                           {0, 3, -1, 0x51, 4006301, 0, ""}};
    std::vector<MidiEvent> got;
    for (const MidiEvent& e : midi.events)
        if (e.kind == 0x51) got.push_back(e);
    EXPECT_EQ(got, tempos);
}

TEST(Rate, TimesAndCounts) {
    TuneHeader header{};
    CallRate rate(header, 1);
    rate.afterCall(0, 0x1234);  // screen-timed: the latch plays no part
    EXPECT_EQ(rate.period(5), kPalScreenCycles);
    EXPECT_EQ(rate.callsWithin(30 * 60), 90224u);
    EXPECT_EQ(rate.timeText(rate.start(3001)), "0:59.87");
    EXPECT_EQ(rate.timeText(uint64_t{kPalClock} * 3600 + 9852), "60:00.00");  // cut, not rounded
    EXPECT_EQ(rate.timeText(uint64_t{kPalClock} * 61 + 9853), "1:01.01");
    header.speed = 1;
    CallRate timed(header, 1);
    timed.afterCall(0, 0x00FF);  // 256 cycles a call
    timed.afterCall(1, 0x00FF);
    timed.afterCall(2, 0x01FF);  // 512 from call 3 on
    EXPECT_EQ(timed.start(3), 768u);
    EXPECT_EQ(timed.start(5), 768u + 1024u);
    EXPECT_EQ(timed.position(768 + 256, 10), 35u);  // halfway through call 3
}

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
    {"a 24-bit counter, 30 minutes", "60", "e6 fb d0 06 e6 fc d0 02 e6 fd 60", "",
     "Song 1 of 1: no repeat within 90224 calls (30:00.01)"},
};
// clang-format on

void PrintTo(const LengthCase& c, std::ostream* out) {
    *out << c.what;
}

class Length : public testing::TestWithParam<LengthCase> {};

Bytes lengthTune(const LengthCase& c) {
    return psidFile({.play = 0x1020, .data = routines(c.start, c.play, 0x20)});
}

TEST_P(Length, SaidAfterFinishedInBothModes) {
    const LengthCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", lengthTune(c));
    for (const char* asmFlag : {"0", "1"}) {
        // The trace of 90224 calls is long: the disassembly mode gets 3000.
        const bool longRun =
            c.calls[0] == '\0' && std::string(c.line).find("90224") != std::string::npos;
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

// A CIA-timed tune whose play routine halves the rate in its third call:
// the whole table.
TEST(Rate, TableOfATimerDrivenTune) {
    ScratchDir dir;
    // Start: latch $2663, volume 15, voice 1 triangle at E-4. Play: $FB
    // counts the calls; the third sets the latch to $4CC7 and every call
    // adds 2 to the frequency's high byte.
    const RateCase tune{
        "",
        0,
        1,
        "1",
        "a9 63 8d 04 dc a9 26 8d 05 dc a9 0f 8d 18 d4 a9 ed 8d 00 d4 a9 15 8d 01 d4 "
        "a9 11 8d 04 d4 60",
        "e6 fb a5 fb c9 03 d0 0a a9 c7 8d 04 dc a9 4c 8d 05 dc ee 01 d4 ee 01 d4 60",
        "",
        ""};
    writeFile(dir.path / "cia.sid", rateTune(tune));
    ASSERT_EQ(runVoxdump(dir.path, {"cia.sid", "5", "--table"}).status, 0);
    EXPECT_EQ(readFile(dir.path / "cia.tab"),
              readFile(fs::path(VOXDUMP_SOURCE_DIR) / "tests/data/cia.tab"));
}

}  // namespace

namespace {

// Calls of the machine environment take the cycles they really took.
CallRate measure(const std::vector<uint32_t>& cycles) {
    CallRate rate(TuneHeader{}, 1);
    rate.measure();
    for (uint32_t k = 0; k < cycles.size(); ++k) rate.callCycles(k, cycles[k]);
    return rate;
}

std::vector<uint32_t> repeated(std::vector<uint32_t> pattern, size_t calls) {
    std::vector<uint32_t> cycles;
    while (cycles.size() < calls) cycles.push_back(pattern[cycles.size() % pattern.size()]);
    return cycles;
}

TEST(MeasuredRate, TimesAreTheSumsOfTheCalls) {
    const CallRate rate = measure({3150, 19656, 19656, 5000, 14656, 0});
    EXPECT_TRUE(rate.measured());
    EXPECT_EQ(rate.start(1), 3150u);
    EXPECT_EQ(rate.start(3), 3150u + 2 * 19656);
    EXPECT_EQ(rate.start(5), 3150u + 2 * 19656 + 5000 + 14656);
    EXPECT_EQ(rate.period(4), 14656u);
    EXPECT_EQ(rate.period(5), 1u);                           // a call of no cycles counts one
    EXPECT_EQ(rate.position(3150 + 19656 + 9828, 10), 25u);  // halfway through call 2
    EXPECT_EQ(rate.text().rfind("the interrupts' rate", 0), 0u);
}

struct TempoCase {
    const char* what;
    std::vector<uint32_t> cycles;                      // calls 0, 1, ...
    std::vector<std::pair<uint32_t, uint32_t>> tempo;  // first call, period
};

const TempoCase kTempos[] = {
    {"a steady rate: one tempo, the start routine's call left out",
     [] {
         auto c = repeated({19656}, 200);
         c[0] = 150000;
         return c;
     }(),
     {{0, 19656}}},
    {"two interrupts a frame, spaced unevenly: no tempo per call",
     [] {
         auto c = repeated({5000, 14656}, 400);
         c[0] = 3150;
         return c;
     }(),
     {{0, 9828}}},
    {"a rate that doubles after 100 calls: one change, some calls later",
     [] {
         auto c = repeated({19656}, 101);
         const auto fast = repeated({9828}, 200);
         c.insert(c.end(), fast.begin(), fast.end());
         return c;
     }(),
     {{0, 19656}, {117, 9828}}},
};

TEST(MeasuredRate, TempoChangesOnlyWithTheRate) {
    for (const TempoCase& c : kTempos) {
        const CallRate rate = measure(c.cycles);
        std::vector<std::pair<uint32_t, uint32_t>> got;
        for (const RatePeriod& p : rate.tempoPeriods()) got.push_back({p.firstCall, p.cycles});
        EXPECT_EQ(got, c.tempo) << c.what;
    }
}

}  // namespace
