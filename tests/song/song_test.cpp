// How often a player calls the play routine: the call rate, its times, and
// what the table and the MIDI file make of it.
#include <gtest/gtest.h>

#include <sstream>

#include "song/call_rate.h"
#include "support/midi_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

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

// A tune whose start routine is at $1000 and play routine at $1040.
Bytes rateTune(const RateCase& c) {
    return psidFile({.play = 0x1040,
                     .songs = 40,
                     .speed = c.speed,
                     .flags = c.flags,
                     .data = codeAt(c.start, c.play, 0x40)});
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

// A rate kept within a bound: two interrupts a frame spaced unevenly, each
// call a period of its own. The periods stay within the bound; the start
// routine's and the running call's stay exact, and a call within merged
// periods begins at most a call's cycles from its real time.
TEST(MeasuredRate, BoundedPeriods) {
    std::vector<uint32_t> cycles = repeated({5000, 14656}, 1000);
    cycles[0] = 150000;
    CallRate rate(TuneHeader{}, 1);
    rate.measure();
    rate.bound(16);
    std::vector<uint64_t> real{0};
    for (uint32_t k = 0; k < cycles.size(); ++k) {
        rate.callCycles(k, cycles[k]);
        real.push_back(real.back() + cycles[k]);
        ASSERT_EQ(rate.start(k + 1), real[k + 1]) << k;  // what the length search asks
        ASSERT_LE(rate.periods().size(), 16u) << k;
    }
    EXPECT_EQ(rate.period(0), 150000u);
    for (uint32_t k = 0; k <= cycles.size(); ++k) {
        const uint64_t start = rate.start(k);
        const uint64_t apart = start > real[k] ? start - real[k] : real[k] - start;
        ASSERT_LE(apart, 14656u) << k;
        if (k > 0) {
            ASSERT_GE(start, rate.start(k - 1)) << k;
        }
    }
}

}  // namespace
