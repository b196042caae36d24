// A song played as a player plays it: where the run starts and with which
// song.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "support/test_support.h"

namespace {

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

}  // namespace

namespace {

// A start routine that stores $37 in $01 (which leaves an undocumented
// opcode there) and a play routine that counts $F0 into $D400.
Psid portTune() {
    return {.init = 0x1000,
            .play = 0x1010,
            .data = hexBytes("a9 37 85 01 60 00 00 00 00 00 00 00 00 00 00 00 "
                             "e6 f0 a5 f0 8d 00 d4 60")};
}

TEST(Returns, AFlatTuneReturnsAsFromAPlayersCallWhenItsSongPlays) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile(portTune()));
    const char* kCalls = "\n\n\n#1\n00012 d400 01\n\n#2\n00012 d400 02\n\n#3\n00012 d400 03\n";
    const char* kHeaderEnd = "program data in file.\n";
    // Played as a song, with or without the undocumented opcodes: every
    // routine ends at its RTS.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"t.sid", "3", "--song", "1"},
          std::vector<std::string>{"t.sid", "3", "--song", "1", "--undocumented"}}) {
        const RunResult r = runVoxdump(dir.path, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const std::string log = readFile(dir.path / "t.log");
        EXPECT_EQ(log.substr(log.find(kHeaderEnd) + std::string(kHeaderEnd).size()), kCalls);
    }
    // The log mode without options runs on at $0001 from the empty stack.
    const RunResult plain = runVoxdump(dir.path, {"t.sid", "3", "1"});
    EXPECT_NE(plain.err.find("play calls #1 to #3: undocumented opcode 37 at 0001; call ended"),
              std::string::npos)
        << plain.err;
}

}  // namespace

namespace {

// Start: voice 3 at frequency $FFFF with the noise waveform and the gate on,
// attack and decay 0, sustain $F. Play: LDA $D41B, STA $D400, LDA $D41C,
// STA $D401.
Psid voice3Tune() {
    return {.init = 0x1000,
            .play = 0x1020,
            .data = hexBytes("a9 ff 8d 0e d4 8d 0f d4 a9 00 8d 13 d4 a9 f0 8d 14 d4 a9 81 8d 12 "
                             "d4 60 00 00 00 00 00 00 00 00 "
                             "ad 1b d4 8d 00 d4 ad 1c d4 8d 01 d4 60")};
}

// The values the play calls stored into `address`, from a .log.
std::vector<std::string> storedValues(const std::string& log, const std::string& address) {
    std::vector<std::string> values;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.size() == 13 && line.substr(6, 4) == address) values.push_back(line.substr(11));
    }
    return values;
}

TEST(Voice3, AFlatTunesSongReadsVoice3AndThePlainLogDoesNot) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile(voice3Tune()));
    // Played as a song: the noise changes from call to call; the envelope
    // has reached the sustain level $FF.
    ASSERT_EQ(runVoxdump(dir.path, {"t.sid", "20", "--song", "1"}).status, 0);
    const std::string song = readFile(dir.path / "t.log");
    const std::vector<std::string> noise = storedValues(song, "d400");
    ASSERT_EQ(noise.size(), 20u);
    EXPECT_GE(std::set<std::string>(noise.begin(), noise.end()).size(), 15u);
    EXPECT_EQ(storedValues(song, "d401"), std::vector<std::string>(20, "ff"));
    // The log mode reads the flat memory: what was stored there, nothing.
    ASSERT_EQ(runVoxdump(dir.path, {"t.sid", "20", "1"}).status, 0);
    const std::string plain = readFile(dir.path / "t.log");
    EXPECT_EQ(storedValues(plain, "d400"), std::vector<std::string>(20, "00"));
}

}  // namespace
