// The study's files: pitch and note names, the table whole, the MIDI file
// read back (tracks, instruments, the bend range, bends, chords and drum
// hits), the picture's bars and lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>

#include "study/midi.h"
#include "study/notes.h"
#include "study/pitch.h"
#include "study/roll.h"
#include "study/score.h"
#include "study/study.h"
#include "support/midi_reader.h"
#include "support/music_tune.h"
#include "support/test_support.h"
#include "tune/tune.h"

namespace {

std::string pitchText(uint16_t frequency, uint32_t clock) {
    const Pitch p = pitchOf(frequency, clock);
    if (!p.named) return "-";
    char name[8];
    return std::string(name, putNoteName(name, p.key)) + " " + std::to_string(p.cents);
}

TEST(Pitch, NamesAndCents) {
    const struct {
        uint16_t frequency;
        uint32_t clock;
        const char* text;
    } cases[] = {
        {0x1D45, kPalClock, "A-4 0"},     // 440 Hz
        {0x1167, kPalClock, "C-4 0"},     // key 60
        {0x1271, kPalClock, "C#4 0"},     // a sharp, with its "#"
        {0x1C32, kNtscClock, "A-4 0"},    // 440 Hz on the NTSC clock
        {0x1C32, kPalClock, "G#4 35"},    // the same register on PAL
        {0x0001, kPalClock, "-"},         // 0.06 Hz: below key 0
        {0x0000, kPalClock, "-"},         // no pitch at all
        {0x0089, kPalClock, "C--1 -28"},  // key 0, octave -1
        {0x0092, kPalClock, "C#-1 -18"},
        {0xFFFF, kPalClock, "B-7 -46"},  // the highest the register holds
    };
    for (const auto& c : cases) EXPECT_EQ(pitchText(c.frequency, c.clock), c.text) << c.frequency;
}

TEST(Pitch, PortableLog2AgreesWithTheLibrary) {
    for (double x = 0.001; x < 1e6; x *= 1.37)
        EXPECT_NEAR(portableLog2(x), std::log2(x), 4e-15 * std::abs(std::log2(x)) + 1e-15) << x;
}

// The example tune: voice 1 steps through C major, E-4, G-4, C-5 and C-4,
// in calls 1 to 4: a chord, even that short, since it steps so.
class ExampleTune : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(
            std::filesystem::path(VOXDUMP_SOURCE_DIR) / "examples/arpeggio.sid",
            dir.path / "arpeggio.sid");
    }
    ScratchDir dir;
};

TEST_F(ExampleTune, TableWhole) {
    RunResult r = runVoxdump(dir.path, {"arpeggio.sid", "4", "--table"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path / "arpeggio.tab"),
              readFile(std::filesystem::path(VOXDUMP_SOURCE_DIR) / "tests/data/arpeggio.tab"));
}

// The header's texts are Latin-1: the table writes them in UTF-8, without
// control characters; the log keeps their bytes.
TEST(Table, HeaderTextInUtf8) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile({.name = "Jan R\xF6"
                                                    "dig\t",
                                            .author = "Tobias G\xF6hlke",
                                            .data = hexBytes("60")}));
    RunResult r = runVoxdump(dir.path, {"t.sid", "1", "--table"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readFile(dir.path / "t.tab")
                  .find("voxdump table of Jan R\xC3\xB6"
                        "dig\nAuthor: Tobias G\xC3\xB6hlke\n"),
              std::string::npos);
    EXPECT_NE(readFile(dir.path / "t.log")
                  .find("Name: Jan R\xF6"
                        "dig\t\nAuthor: Tobias G\xF6hlke\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Name: Jan R\xF6"
                         "dig\t\n"),
              std::string::npos);
}

TEST_F(ExampleTune, MidiChord) {
    RunResult r = runVoxdump(dir.path, {"arpeggio.sid", "4", "0", "1", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "arpeggio.mid"));
    EXPECT_TRUE(midi.valid);
    EXPECT_EQ(midi.format, 1);
    EXPECT_EQ(midi.tracks, 5);
    EXPECT_EQ(midi.division, 50);    // no row length in one chord: the call rate
    EXPECT_EQ(midi.tempo, 997515u);  // 50 ticks of 19656 cycles at 985248 Hz
    EXPECT_EQ(midi.trackNames,
              (std::vector<std::string>{"Arpeggio", "Voice 1", "Voice 2", "Voice 3", "Drums"}));
    // The envelope (attack 0, decay 9, sustain 0) has fallen to 238 at the
    // end of call 1: 127 * sqrt(238 / 255) = 122.7.
    const std::vector<MidiNote> expected = {
        {1, 0, 60, 123, 1, 5}, {1, 0, 64, 123, 1, 5}, {1, 0, 67, 123, 1, 5}, {1, 0, 72, 123, 1, 5}};
    EXPECT_EQ(midi.notes, expected);
}

// A pitched note with its bends, a chord on the same voice, a drum hit of
// voice 3; notes held to a row of 6 calls.
struct MidiCase : testing::Test {
    void SetUp() override { rate.afterCall(0, 0); }
    // The file of `notes` with no waveform known (pulse, Lead 1, for all).
    std::string midi(const std::vector<Note>& some, uint32_t row, uint32_t phase) const {
        uint8_t waveforms[kMaxVoices];
        std::fill(std::begin(waveforms), std::end(waveforms), kPulse);
        return midiFile(info, some, bends, row, phase, rate.tempoPeriods(), waveforms);
    }
    // A timer-driven rate: calls 0-4 at latch $2663, from call 5 at twice that period.
    void timedRate() {
        TuneHeader timed{};
        timed.speed = 1;
        rate = CallRate(timed, 1);
        for (uint32_t call = 0; call < 4; ++call) rate.afterCall(call, 0x2663);
        rate.afterCall(4, 0x4CC7);
    }
    CallRate rate;
    StudyInfo info{"x", "", "", 1, 1, false, kPalClock, 40, false, 0, 1};
    // E-4 in calls 1-4, 20 cents sharp, then 80 cents, then 3 semitones up
    // and an octave down: the bend follows every call.
    std::vector<int32_t> bends = {200, 200, 800, 3000, -12000};
    std::vector<Note> notes = {{0, NoteKind::Pitched, 64, 255, 1, 5, 0, 5},
                               {0, NoteKind::Chord, 60, 64, 7, 10, 0, 12},
                               {0, NoteKind::Chord, 67, 64, 7, 10, 0, 12},
                               {2, NoteKind::Drum, 0, 16, 7, 8, 0, 11}};
};

TEST_F(MidiCase, InstrumentsBendsChordsAndDrums) {
    const MidiFile file = readMidi(midi(notes, 6, 0));
    ASSERT_TRUE(file.valid);
    EXPECT_EQ(file.division, 24);    // four rows of 6 calls a quarter note
    EXPECT_EQ(file.tempo, 478807u);  // 24 ticks of 19656 cycles at 985248 Hz
    EXPECT_EQ(file.trackNames.back(), "Drums");
    // Velocities: full scale, a quarter of the level (-12 dB), a sixteenth.
    const std::vector<MidiNote> expected = {{1, 0, 64, 127, 1, 6},
                                            {1, 0, 60, 64, 7, 13},
                                            {1, 0, 67, 64, 7, 13},
                                            {4, 9, drumKey(2), 32, 7, 12}};
    EXPECT_EQ(file.notes, expected);
    // Voice 1: Lead 1 (no waveforms known here), RPN 0 of 24 semitones,
    // then a bend per change, and back to none for the chord.
    std::vector<MidiEvent> channel1;
    for (const MidiEvent& e : file.events)
        if (e.channel == 0) channel1.push_back(e);
    const std::vector<MidiEvent> expectedEvents = {
        {1, 0, 0, 0xC0, 80, 0, ""},    {1, 0, 0, 0xB0, 0, 101, ""},  {1, 0, 0, 0xB0, 0, 100, ""},
        {1, 0, 0, 0xB0, 24, 6, ""},    {1, 0, 0, 0xB0, 0, 38, ""},   {1, 0, 0, 0xB0, 127, 101, ""},
        {1, 0, 0, 0xB0, 127, 100, ""}, {1, 1, 0, 0xE0, 8260, 0, ""}, {1, 3, 0, 0xE0, 8465, 0, ""},
        {1, 4, 0, 0xE0, 9216, 0, ""},  {1, 5, 0, 0xE0, 4096, 0, ""}, {1, 7, 0, 0xE0, 8192, 0, ""}};
    EXPECT_EQ(channel1, expectedEvents);
}

// The tempo events and the loop's marker in the order of their ticks: the
// call rate changes at call 5, after the loop's start at call 2. The first
// track with notes (voice 1's) holds the same tempo events.
TEST_F(MidiCase, TemposAndLoopInOrder) {
    timedRate();
    info.loopCall = 2;
    const MidiFile file = readMidi(midi(notes, 0, 0));
    ASSERT_TRUE(file.valid);
    std::vector<std::tuple<int, uint32_t, int, uint32_t>> meta;  // track, tick, kind, tempo
    for (const MidiEvent& e : file.events)
        if (e.channel < 0) meta.push_back({e.track, e.tick, e.kind, e.value});
    EXPECT_EQ(meta, (std::vector<std::tuple<int, uint32_t, int, uint32_t>>{{0, 0, 0x51, 997515},
                                                                           {0, 2, 0x06, 0},
                                                                           {0, 5, 0x51, 1995031},
                                                                           {1, 0, 0x51, 997515},
                                                                           {1, 5, 0x51, 1995031}}));
    // In the voice's track the tempo comes before the events of its tick.
    const auto first = std::find_if(file.events.begin(), file.events.end(),
                                    [](const MidiEvent& e) { return e.track == 1; });
    ASSERT_NE(first, file.events.end());
    EXPECT_EQ(first->kind, 0x51);
}

// The rows begin on the grid: call c stands at tick c + lead, the lead
// bringing the rows' phase to a multiple of the row (a tick a call still),
// and the notes, their ends, bends, the loop's marker and a change of tempo
// move with the calls; the first tempo stays at tick 0, where it covers the
// lead, and so do the instrument and the bend range.
TEST_F(MidiCase, CallsShiftSoThatTheRowsBeginOnTheGrid) {
    timedRate();  // twice the period from call 5
    info.loopCall = 2;
    const struct {
        uint32_t row, phase, lead;
    } cases[] = {
        {6, 0, 0},  // on the grid already
        {6, 1, 5},  // the notes at calls 1 and 7 begin rows: ticks 6 and 12
        {6, 5, 1},  // rows from call 5: a lead of a call
        {6, 7, 5},  // a phase is taken modulo the row
        {4, 3, 1},  // rows of 4 calls
        {0, 3, 0},  // no row length: no grid to put the notes on
    };
    for (const auto& c : cases) {
        const MidiFile file = readMidi(midi(notes, c.row, c.phase));
        ASSERT_TRUE(file.valid);
        const uint32_t lead = c.lead;
        const std::vector<MidiNote> expected = {{1, 0, 64, 127, 1 + lead, 6 + lead},
                                                {1, 0, 60, 64, 7 + lead, 13 + lead},
                                                {1, 0, 67, 64, 7 + lead, 13 + lead},
                                                {4, 9, drumKey(2), 32, 7 + lead, 12 + lead}};
        EXPECT_EQ(file.notes, expected) << c.row << " " << c.phase;
        std::vector<std::tuple<int, uint32_t, int>> events;  // track, tick, kind
        for (const MidiEvent& e : file.events)
            if (e.channel < 0 || e.kind == 0xE0 || e.kind == 0xC0)
                events.push_back({e.track, e.tick, e.kind});
        EXPECT_EQ(events, (std::vector<std::tuple<int, uint32_t, int>>{{0, 0, 0x51},
                                                                       {0, 2 + lead, 0x06},
                                                                       {0, 5 + lead, 0x51},
                                                                       {1, 0, 0x51},
                                                                       {1, 0, 0xC0},
                                                                       {1, 1 + lead, 0xE0},
                                                                       {1, 3 + lead, 0xE0},
                                                                       {1, 4 + lead, 0xE0},
                                                                       {1, 5 + lead, 0x51},
                                                                       {1, 5 + lead, 0xE0},
                                                                       {1, 7 + lead, 0xE0},
                                                                       {2, 0, 0xC0},
                                                                       {3, 0, 0xC0}}))
            << c.row << " " << c.phase;
    }
}

// Without notes in the voices, the drum track holds the tempo; without any
// note, only the first track.
TEST_F(MidiCase, TempoGoesToTheFirstTrackWithNotes) {
    const auto tempoTracks = [&](const std::vector<Note>& some) {
        std::vector<int> tracks;
        for (const MidiEvent& e : readMidi(midi(some, 0, 0)).events)
            if (e.kind == 0x51) tracks.push_back(e.track);
        return tracks;
    };
    EXPECT_EQ(tempoTracks({notes[3]}), (std::vector<int>{0, 4}));
    EXPECT_EQ(tempoTracks({}), (std::vector<int>{0}));
    Note third = notes[1];
    third.voice = 2;
    EXPECT_EQ(tempoTracks({notes[3], third}), (std::vector<int>{0, 3}));
}

TEST(MidiFile, VelocityOnTheSquareLaw) {
    // round(127 sqrt(L / 255)), at least 1: 6 dB less is 0.707 of it.
    const struct {
        uint8_t loudness;
        int velocity;
    } cases[] = {{255, 127}, {254, 127}, {252, 126}, {128, 90}, {64, 64},
                 {16, 32},   {1, 8},     {0, 1},     {170, 104}};
    for (const auto& c : cases) EXPECT_EQ(velocityOf(c.loudness), c.velocity) << +c.loudness;
    for (int l = 1; l < 256; ++l)
        EXPECT_EQ(velocityOf(static_cast<uint8_t>(l)),
                  std::max(1L, std::lround(127 * std::sqrt(l / 255.0))))
            << l;
}

TEST(MidiFile, BendValues) {
    const struct {
        int32_t milli;
        uint32_t value;
    } cases[] = {{0, 8192},   {1000, 8533},   {-1000, 7851}, {24000, 16383},
                 {-24000, 0}, {30000, 16383}, {-30000, 0},   {5, 8194},
                 {-5, 8190},  {12000, 12288}, {-12000, 4096}};
    for (const auto& c : cases) EXPECT_EQ(bendValue(c.milli), c.value) << c.milli;
}

// Without a row, a quarter note is four of the onset distance heard most:
// notes at the same call count once, distances of 1 call or above 64 count
// not at all, too few distances give none, and a tie goes to the shorter.
TEST(MidiFile, OnsetGapWithoutARow) {
    const auto notesAt = [](std::vector<uint32_t> onsets) {
        std::vector<Note> notes;
        for (uint32_t call : onsets)
            notes.push_back({0, NoteKind::Pitched, 60, 200, call, call + 1, 0, call + 1});
        return notes;
    };
    const auto every = [](uint32_t gap, uint32_t count, uint32_t from = 10) {
        std::vector<uint32_t> onsets;
        for (uint32_t k = 0; k < count; ++k) onsets.push_back(from + k * gap);
        return onsets;
    };
    std::vector<uint32_t> mixed = every(7, 12);               // 11 gaps of 7
    for (uint32_t c : every(6, 11, 200)) mixed.push_back(c);  // 10 of 6, one of 200-87
    std::vector<uint32_t> tie = every(9, 11);                 // 10 of 9
    for (uint32_t c : every(5, 11, 300)) tie.push_back(c);    // 10 of 5
    std::vector<uint32_t> doubled = every(6, 20);
    for (uint32_t c : every(6, 20)) doubled.push_back(c);  // two voices together
    const struct {
        const char* name;
        std::vector<uint32_t> onsets;
        uint32_t gap;
    } cases[] = {
        {"too few distances", every(6, 16), 0},
        {"just enough", every(6, 17), 6},
        {"the most frequent", mixed, 7},
        {"a tie: the shorter", tie, 5},
        {"onsets at the same call once", doubled, 6},
        {"a call apart: no distance", every(1, 40), 0},
        {"longer than 64 calls: none", every(65, 40), 0},
        {"64 calls", every(64, 40), 64},
    };
    for (const auto& c : cases) EXPECT_EQ(onsetGap(notesAt(c.onsets)), c.gap) << c.name;
    EXPECT_EQ(midiDivision(0, 985248, 19656, 7), 28u);
    EXPECT_EQ(midiDivision(6, 985248, 19656, 7), 24u);  // a row wins
    EXPECT_EQ(midiDivision(0, 985248, 19656, 0), 50u);  // a quarter note a second
}

TEST_F(MidiCase, RollDrawsChordsLinesAndDrums) {
    info.name = "A & <B>";
    info.author = "\xC9mile";
    info.songs = 3;
    info.song = 2;
    const std::string svg = rollPicture(info, notes, bends, rate);
    const std::string group = svg.substr(svg.find("<g id=\"voice1\""));
    EXPECT_EQ(std::count(group.begin(), group.begin() + static_cast<long>(group.find("</g>")), '<'),
              4);  // the group and three bars: the note and the chord's two keys
    // One line through the bent note's pitch, a point a call.
    const size_t line = svg.find("<path d=\"M");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(svg.find("<path d=\"M", line + 1), std::string::npos);
    EXPECT_NE(svg.find("<g id=\"voice3\""), std::string::npos);  // the drum hit's lane
    EXPECT_NE(svg.find(">noise</text>"), std::string::npos);
    EXPECT_NE(svg.find("A &amp; &lt;B&gt;"), std::string::npos);
    EXPECT_NE(svg.find("\xC3\x89mile - song 2 of 3"), std::string::npos);  // Latin-1 to UTF-8
}

// A tune whose notes all begin 4 calls into rows of 6 (three calls of rest,
// then notes of 6 calls), with an intro of 4 notes before the loop: the file
// starts 2 ticks before call 0, so that every note begins and ends on a
// multiple of the row; the tempo stays at tick 0, and the loop's marker
// stands at its call's tick, 2 later.
TEST(MidiFile, NotesOffTheGridStandOnItsBeat) {
    MusicTune tune;
    addRest(tune, 3);
    for (const int key : {48, 50, 52, 53}) addNote(tune, key, 5, 1);
    tune.loopIndex = tune.calls.size();  // call 28
    for (const int key : {60, 62, 64, 65, 67, 69, 71, 72}) addNote(tune, key, 5, 1);
    ScratchDir dir;
    writeFile(dir.path / "t.sid", musicTuneFile(tune));
    const RunResult r = runVoxdump(dir.path, {"t.sid", "--length", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.out.find("then repeats from 0:00.55 (call 28)"), std::string::npos) << r.out;
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(midi.division, 24);  // rows of 6 calls
    // The run ends in call 76, the second pass's first; the file holds the
    // song, up to call 75 (the intro and one pass): 12 notes, the end marked
    // after its last call.
    ASSERT_EQ(midi.notes.size(), 12u);
    for (size_t k = 0; k < midi.notes.size(); ++k) {
        // Call 4 + 6k at tick 6 + 6k, held to its row's end.
        EXPECT_EQ(midi.notes[k].on, 6 + 6 * k) << k;
        EXPECT_EQ(midi.notes[k].off, 12 + 6 * k) << k;
    }
    std::vector<MidiEvent> meta;
    for (const MidiEvent& e : midi.events)
        if (e.channel < 0) meta.push_back(e);
    EXPECT_EQ(meta, (std::vector<MidiEvent>{{0, 0, -1, 0x51, 478807, 0, ""},
                                            {0, 30, -1, 0x06, 0, 0, "loop"},
                                            {0, 78, -1, 0x06, 0, 0, "end"},
                                            {1, 0, -1, 0x51, 478807, 0, ""}}));
}

// Tunes made in a known key and meter: bars of 3 or 4 quarter notes (a
// quarter note is 4 rows of 6 calls), each opening with a long note on its
// first beat, two bars that take turns. The file's time signature, its key
// signature and the header's texts say so, and every bar's long note stands
// on a bar line.
struct KeyAndMeter {
    const char* name;
    int beats;
    std::vector<int> barA, barB;  // the long note, then a note a row
    int sharps;
    bool minor;
};

void PrintTo(const KeyAndMeter& c, std::ostream* os) {
    *os << c.name;
}

class KeyAndMeterCase : public testing::TestWithParam<KeyAndMeter> {};

TEST_P(KeyAndMeterCase, SignaturesAndBarLines) {
    const KeyAndMeter& c = GetParam();
    MusicTune tune;
    for (int bar = 0; bar < 16; ++bar) {
        const std::vector<int>& keys = bar % 2 == 0 ? c.barA : c.barB;
        ASSERT_EQ(keys.size(), static_cast<size_t>(4 * c.beats - 3));
        addNote(tune, keys[0], 23, 1);
        for (size_t k = 1; k < keys.size(); ++k) addNote(tune, keys[k], 5, 1);
    }
    ScratchDir dir;
    writeFile(dir.path / "t.sid", musicTuneFile(tune));
    const RunResult r =
        runVoxdump(dir.path, {"t.sid", std::to_string(tune.calls.size()), "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(midi.division, 24);  // rows of 6 calls
    EXPECT_EQ(midi.trackNames.front(), "Structure");
    const std::string timeSignature{static_cast<char>(c.beats), 2, 24, 8};
    const std::string keySignature{static_cast<char>(c.sharps), static_cast<char>(c.minor)};
    EXPECT_EQ(midi.texts, (std::vector<MidiEvent>{{0, 0, -1, 0x02, 0, 0, "2026"},
                                                  {0, 0, -1, 0x01, 0, 0, "Tester"},
                                                  {0, 0, -1, 0x58, 0, 0, timeSignature},
                                                  {0, 0, -1, 0x59, 0, 0, keySignature},
                                                  {1, 0, -1, 0x59, 0, 0, keySignature},
                                                  {2, 0, -1, 0x59, 0, 0, keySignature},
                                                  {3, 0, -1, 0x59, 0, 0, keySignature}}));
    const uint32_t bar = 24u * static_cast<uint32_t>(c.beats);
    size_t longNotes = 0;
    for (const MidiNote& n : midi.notes) {
        if (n.off - n.on < 24) continue;
        ++longNotes;
        EXPECT_EQ(n.on % bar, 0u) << n.on;
    }
    EXPECT_EQ(longNotes, 16u);
    EXPECT_LT(midi.notes.front().on, bar);  // no bar of nothing before the music
}

INSTANTIATE_TEST_SUITE_P(Tunes, KeyAndMeterCase,
                         testing::Values(KeyAndMeter{"EMinorThreeFour",
                                                     3,
                                                     {64, 67, 71, 76, 71, 67, 71, 66, 64},
                                                     {71, 69, 67, 66, 64, 66, 67, 71, 64},
                                                     1,
                                                     true},
                                         KeyAndMeter{
                                             "DMajorFourFour",
                                             4,
                                             {62, 66, 69, 74, 69, 66, 69, 73, 74, 76, 74, 73, 69},
                                             {69, 67, 66, 64, 62, 64, 66, 67, 69, 71, 69, 67, 66},
                                             2,
                                             false}),
                         [](const auto& p) { return std::string(p.param.name); });

// An interrupt-driven tune whose timer interrupts come unevenly (the latch
// changes every interrupt, by up to 6 %, from a table of 16, and the
// interrupts of the timer and of the machine's own come between each other:
// calls of 19656 cycles and of a few hundred, in no steady pattern) and whose
// notes begin every 6 of its handler's runs (rows of 9 calls): the tempo
// follows the rows, at most one tempo change a bar, on its bar line, and the
// bars are 4/4.
TEST(MidiFile, UnevenInterruptsMakeAtMostOneTempoABar) {
    // Start: SEI, the handler $1040 in $0314/$0315, timer A's latch $4CC7,
    // force load and start, volume 15, voice 1's envelope, CLI, RTS.
    // Handler: the next latch from $1100/$1110; every 6th call from the
    // first a note of C major from $1120/$1128 (pulse, gate on), its gate
    // off 4 calls later; JMP $EA31.
    Bytes code = hexBytes(
        "78 a9 40 8d 14 03 a9 10 8d 15 03 a9 c7 8d 04 dc a9 4c 8d 05 dc a9 11 8d 0e dc a9 0f 8d 18 "
        "d4 a9 09 8d 05 d4 a9 f0 8d 06 d4 58 60");
    code.resize(0x40, 0);
    const Bytes handler = hexBytes(
        "e6 f1 a5 f1 29 0f a8 b9 00 11 8d 04 dc b9 10 11 8d 05 dc e6 f2 a5 f2 c9 06 d0 04 a9 00 85 "
        "f2 a5 f2 d0 1c a6 f3 e6 f3 8a 29 07 aa bd 20 11 8d 00 d4 bd 28 11 8d 01 d4 a9 41 8d 04 d4 "
        "4c 88 10 c9 04 d0 05 a9 40 8d 04 d4 4c 31 ea");
    code.insert(code.end(), handler.begin(), handler.end());
    code.resize(0x100, 0);
    for (const int offset :
         {0, 900, -700, 300, -1100, 600, -200, 1000, -900, 100, -400, 800, -1000, 200, -300, 700}) {
        code.push_back(static_cast<uint8_t>(0x4CC7 + offset));
    }
    for (const int offset :
         {0, 900, -700, 300, -1100, 600, -200, 1000, -900, 100, -400, 800, -1000, 200, -300, 700}) {
        code.push_back(static_cast<uint8_t>((0x4CC7 + offset) >> 8));
    }
    const uint16_t frequencies[] = {0x1167, 0x1389, 0x15ED, 0x173B, 0x1A13, 0x1D45, 0x20DA, 0x22CE};
    for (const uint16_t f : frequencies) code.push_back(static_cast<uint8_t>(f));
    for (const uint16_t f : frequencies) code.push_back(static_cast<uint8_t>(f >> 8));
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile({.id = "RSID", .play = 0, .data = code}));
    const RunResult r = runVoxdump(dir.path, {"t.sid", "1200", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(midi.division, 36);  // rows of 9 calls
    const uint32_t bar = 4 * 36;
    EXPECT_NE(std::find(midi.texts.begin(), midi.texts.end(),
                        MidiEvent{0, 0, -1, 0x58, 0, 0, std::string{4, 2, 24, 8}}),
              midi.texts.end());
    std::vector<uint32_t> tempoTicks;
    for (const MidiEvent& e : midi.events)
        if (e.track == 0 && e.kind == 0x51) tempoTicks.push_back(e.tick);
    ASSERT_FALSE(tempoTicks.empty());
    EXPECT_EQ(tempoTicks.front(), 0u);
    for (size_t k = 1; k < tempoTicks.size(); ++k) {
        EXPECT_EQ(tempoTicks[k] % bar, 0u) << tempoTicks[k];  // on a bar line
        EXPECT_GT(tempoTicks[k], tempoTicks[k - 1]);
    }
    EXPECT_LE(tempoTicks.size(), 1200u / bar + 1);
}

}  // namespace
