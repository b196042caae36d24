// How long a song lasts as a listener hears it (--length): tunes made here
// with a known structure, whose machine state repeats with the music, later
// than it, or never.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/midi_reader.h"
#include "support/music_tune.h"
#include "support/test_support.h"

namespace {

// m:ss.cc at the end of call k of a PAL screen-timed song (hundredths cut).
std::string endOf(uint32_t k) {
    const uint64_t hundredths = uint64_t{k + 1} * 19656 * 100 / 985248;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%02u", static_cast<unsigned>(hundredths / 6000),
                  static_cast<unsigned>(hundredths / 100 % 60),
                  static_cast<unsigned>(hundredths % 100));
    return text;
}

// A melody of `notes` notes of 10 to 14 calls and a rest of 2, keys from
// `low` up, none the same as the one before.
void addMelody(MusicTune& tune, uint32_t seed, int notes, int low) {
    std::mt19937 random(seed);
    int key = -1;
    for (int k = 0; k < notes; ++k) {
        int next;
        do next = low + static_cast<int>(random() % 24);
        while (next == key);
        key = next;
        addNote(tune, key, 10 + static_cast<uint32_t>(random() % 5), 2);
    }
}

// The length line and the exact repeat's line, after "Finished!".
std::string lengthLines(const Bytes& tune, const std::vector<std::string>& more = {}) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", tune);
    std::vector<std::string> args{"t.sid", "--length"};
    args.insert(args.end(), more.begin(), more.end());
    const RunResult r = runVoxdump(dir.path, args);
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t at = r.out.find("Finished!\n");
    return at == std::string::npos ? r.out : r.out.substr(at + 10);
}

std::string loopLine(uint32_t start, uint32_t period) {
    const uint32_t counted = start - 1 + period;
    return std::string("Song 1 of 1 lasts ") + endOf(counted) + " (" + std::to_string(counted) +
           " calls), then repeats from " + endOf(start - 1) + " (call " + std::to_string(start) +
           ")\n";
}

std::string exactLine(uint32_t i, uint32_t j) {
    return std::string("Exact repeat: the state after call ") + std::to_string(j) +
           " is the state after call " + std::to_string(i) + "\n";
}

// An intro of 9 notes, then a loop of 40 that repeats. The intro's last
// note rings into its last call, which the loop's last call (a rest) is
// not: the first pass begins with the loop.
MusicTune introAndLoop() {
    MusicTune tune;
    addMelody(tune, 1, 8, 48);
    addNote(tune, 47, 6, 1);
    tune.loopIndex = tune.calls.size();
    addMelody(tune, 2, 40, 60);
    return tune;
}

TEST(HeardLength, IntroThenLoopWithTheMachine) {
    const MusicTune tune = introAndLoop();
    const uint32_t intro = static_cast<uint32_t>(tune.loopIndex);
    const uint32_t pass = static_cast<uint32_t>(tune.calls.size()) - intro;
    // The table's end comes after the last call of the pass: the call after
    // it plays the loop's first call again, and leaves the state that the
    // loop's first call left.
    EXPECT_EQ(lengthLines(musicTuneFile(tune)),
              loopLine(intro + 1, pass) + exactLine(intro + 1, intro + 1 + pass));
}

// A pass counter (modulo 3) makes the machine's period three passes; the
// music's is one.
TEST(HeardLength, StatePeriodOfThreePasses) {
    MusicTune tune = introAndLoop();
    tune.statePasses = 3;
    const uint32_t intro = static_cast<uint32_t>(tune.loopIndex);
    const uint32_t pass = static_cast<uint32_t>(tune.calls.size()) - intro;
    EXPECT_EQ(lengthLines(musicTuneFile(tune)),
              loopLine(intro + 1, pass) + exactLine(intro + 1, intro + 1 + 3 * pass));
}

// The table ends with the console's lines, the MIDI file marks where the
// first pass begins and where the song ends.
TEST(HeardLength, TheFilesSayItToo) {
    const MusicTune tune = introAndLoop();
    const uint32_t intro = static_cast<uint32_t>(tune.loopIndex);
    const uint32_t pass = static_cast<uint32_t>(tune.calls.size()) - intro;
    ScratchDir dir;
    writeFile(dir.path / "t.sid", musicTuneFile(tune));
    ASSERT_EQ(runVoxdump(dir.path, {"t.sid", "--length", "--table", "--midi"}).status, 0);
    EXPECT_TRUE(readFile(dir.path / "t.tab")
                    .ends_with(std::string("\n") + loopLine(intro + 1, pass) +
                               exactLine(intro + 1, intro + 1 + pass)));
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    std::vector<MidiEvent> markers;
    for (const MidiEvent& e : midi.events)
        if (e.kind == 0x06) markers.push_back(e);
    EXPECT_EQ(markers, (std::vector<MidiEvent>{{0, intro + 1, -1, 0x06, 0, 0, "loop"},
                                               {0, intro + pass + 1, -1, 0x06, 0, 0, "end"}}));
}

// A free-running counter sweeps the pulse width: the state never repeats
// within the run, the notes alone say where the song repeats.
TEST(HeardLength, SweepWhosePhaseDriftsAcrossPasses) {
    MusicTune tune = introAndLoop();
    tune.freeCounter = tune.sweep = true;
    const uint32_t intro = static_cast<uint32_t>(tune.loopIndex);
    const uint32_t pass = static_cast<uint32_t>(tune.calls.size()) - intro;
    EXPECT_EQ(lengthLines(musicTuneFile(tune)), loopLine(intro + 1, pass));
}

// The melody once, then silence while the counter runs on.
TEST(HeardLength, EndsInSilenceWhileACounterRuns) {
    MusicTune tune;
    addMelody(tune, 3, 30, 55);
    const uint32_t gateOff = static_cast<uint32_t>(tune.calls.size()) - 1;  // the last note's
    tune.loopIndex = tune.calls.size();
    addRest(tune, 1);
    tune.freeCounter = true;
    // The release (rate 0) falls below hearing within the call that closes
    // the gate.
    EXPECT_EQ(lengthLines(musicTuneFile(tune)), std::string("Song 1 of 1 lasts ") + endOf(gateOff) +
                                                    " (" + std::to_string(gateOff) +
                                                    " calls), then ends\n");
}

// A section played twice before the song goes on is not the loop: the
// whole of it is.
TEST(HeardLength, SectionPlayedTwiceBeforeTheSongGoesOn) {
    MusicTune tune;
    MusicTune section;
    addMelody(section, 4, 12, 60);
    for (int k = 0; k < 2; ++k)
        tune.calls.insert(tune.calls.end(), section.calls.begin(), section.calls.end());
    addMelody(tune, 5, 30, 50);
    tune.freeCounter = true;
    const uint32_t pass = static_cast<uint32_t>(tune.calls.size());
    EXPECT_EQ(lengthLines(musicTuneFile(tune)), loopLine(1, pass));
}

}  // namespace

namespace {

// A melody, then a chord on the three voices (release rate `release`) held
// `held` calls; with `close` its gates close. The table then goes back to an
// empty call: the machine's state repeats every call from there.
MusicTune lastChord(uint8_t release, uint32_t held, bool close) {
    MusicTune tune;
    addMelody(tune, 6, 20, 55);
    const uint8_t sr = static_cast<uint8_t>(0xF0 | release);
    // Keys 60, 64 and 67 at PAL: 4291, 5407 and 6430.
    tune.calls.push_back({{6, sr},
                          {13, sr},
                          {20, sr},
                          {0, 0xC3},
                          {1, 0x10},
                          {7, 0x1F},
                          {8, 0x15},
                          {14, 0x1E},
                          {15, 0x19},
                          {4, 0x21},
                          {11, 0x21},
                          {18, 0x21}});
    addRest(tune, held - 1);
    if (close) tune.calls.push_back({{4, 0x20}, {11, 0x20}, {18, 0x20}});
    tune.loopIndex = tune.calls.size();
    addRest(tune, 1);
    return tune;
}

std::string endsLine(uint32_t last) {
    return std::string("Song 1 of 1 lasts ") + endOf(last) + " (" + std::to_string(last) +
           " calls), then ends\n";
}

}  // namespace

// The gates close in call G; after the next the state repeats every call,
// with no note beginning: an end, not a loop of one call. Release 9 steps
// every 977 cycles; from 255 the level takes 162 steps to 93, 78 to 54, 108
// to 26 and 88 to 15: 436 steps, 425972 cycles, 21.7 calls of 19656. The
// chord is heard up to the call in which it falls below 16, G + 21.
TEST(HeardLength, AFadingLastChordEnds) {
    const MusicTune tune = lastChord(9, 40, true);
    const uint32_t gateOff = static_cast<uint32_t>(tune.loopIndex);  // its call number
    const uint32_t repeat = gateOff + 2;  // the state after the first empty call comes back
    EXPECT_EQ(lengthLines(musicTuneFile(tune)),
              endsLine(gateOff + 21) + exactLine(repeat - 1, repeat));
}

// A chord held for ever is followed two seconds past the state's repeat
// (100 calls at PAL's 50.1 a second), and a chord that fades for longer
// is cut there too: release 13, 436 steps of 11720 cycles, 260 calls.
TEST(HeardLength, AHeldOrSlowLastChordIsFollowedTwoSeconds) {
    for (const bool close : {false, true}) {
        const MusicTune tune = lastChord(13, 40, close);
        const uint32_t repeat = static_cast<uint32_t>(tune.loopIndex) + 2;
        EXPECT_EQ(lengthLines(musicTuneFile(tune)),
                  endsLine(repeat + 100) + exactLine(repeat - 1, repeat))
            << (close ? "released" : "held");
    }
}
