// The study of a tune: pitch and note names, the note model call by call,
// and the files it writes (the table whole, the MIDI file read back, the
// picture's note bars).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "study/midi.h"
#include "study/notes.h"
#include "study/pitch.h"
#include "study/roll.h"
#include "study/study.h"
#include "support/midi_reader.h"
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

struct NoteCase {
    const char* what;
    const char* calls;  // routine calls split by "|", each "address=value" stores (hex)
    const char* notes;  // "voice:name first-last", percussion named "noise"
    int16_t version = 2;
    uint16_t flags = 0;
    uint32_t reserved = 0;
};

// clang-format off
const NoteCase kNoteCases[] = {
    {"a note per key, until the gate goes off", "d400=ed d401=15 d404=11 | d400=13 d401=1a | d404=10 | ",
     "1:E-4 1-1, 1:G-4 2-2"},
    {"gate off and on within a call retriggers", "d400=ed d401=15 d404=11 | d404=10 d404=11 | ",
     "1:E-4 1-1, 1:E-4 2-3"},
    {"gate on written again is no new note", "d400=ed d401=15 d404=11 | d404=11 | d404=41 | ",
     "1:E-4 1-4"},
    {"a slide across semitones", "d400=ed d401=15 d404=21 | d400=3b d401=17 | d400=9d d401=18",
     "1:E-4 1-1, 1:F-4 2-2, 1:F#4 3-3"},
    {"vibrato inside one semitone", "d400=45 d401=1d d404=41 | d400=80 | d400=10 | d400=45",
     "1:A-4 1-4"},
    {"noise: the key plays no part", "d400=00 d401=10 d404=81 | d401=20 | d404=80",
     "1:noise 1-2"},
    {"pitched, then noise at the same frequency", "d400=00 d401=10 d404=11 | d404=81",
     "1:B-3 1-1, 1:noise 2-2"},
    {"the test bit silences", "d400=ed d401=15 d404=19 | d404=11 | d404=19 | d404=11",
     "1:E-4 2-2, 1:E-4 4-4"},
    {"a gate without a waveform is silent", "d400=ed d401=15 d404=01", ""},
    {"frequency 0 is silent", "d404=11 | d400=ed d401=15", "1:E-4 2-2"},
    {"the start routine's state counts as call 0", "d400=ed d401=15 d404=11 | ", "1:E-4 0-1"},
    {"voices 2 and 3, registers 25-31 ignored", "d407=ed d408=15 d40b=11 d419=ff d41f=ff | d40e=13 d40f=1a d412=11",
     "2:E-4 1-2, 3:G-4 2-2"},
    {"the chip answers every 32 bytes", "d7e0=ed d7e1=15 d7e4=11", "1:E-4 1-1"},
    {"NTSC clock", "d400=32 d401=1c d404=11", "1:A-4 1-1", 2, 0x0008},
    {"a second chip at d420 (version 3); d440 is the first chip again", "d420=ed d421=15 d424=11 d400=13 d401=1a d404=11 | d440=ed d441=15 d444=11",
     "1:G-4 1-1, 4:E-4 1-2, 1:E-4 2-2", 3, 0, 0x00004200},
    {"a third chip at d440 (version 4)", "d420=ed d421=15 d424=11 d440=13 d441=1a d444=11",
     "4:E-4 1-1, 7:G-4 1-1", 4, 0, 0x00004244},
    {"version 2 has one chip only", "d420=ed d421=15 d424=11", "1:E-4 1-1", 2, 0, 0x00004200},
    {"an odd chip address is no chip", "d420=ed d421=15 d424=11", "1:E-4 1-1", 3, 0, 0x00004300},
};
// clang-format on

void PrintTo(const NoteCase& c, std::ostream* out) {
    *out << c.what;
}

std::string notesText() {
    std::string text;
    for (const Note& n : notes()) {
        char name[8];
        text += (text.empty() ? "" : ", ") + std::to_string(n.voice + 1) + ":" +
                (n.percussion ? "noise" : std::string(name, putNoteName(name, n.key))) + " " +
                std::to_string(n.first) + "-" + std::to_string(n.last);
    }
    return text;
}

class NoteModel : public testing::TestWithParam<NoteCase> {};

// The calls of a case: the first string is call 1; call 0 (the start
// routine) stores nothing unless the case begins with its own.
TEST_P(NoteModel, Notes) {
    const NoteCase& c = GetParam();
    TuneHeader& header = tuneHeader();
    header = TuneHeader{};
    header.version = c.version;
    header.flags = c.flags;
    header.reserved = c.reserved;
    std::vector<std::string> calls;
    std::istringstream split(c.calls);
    for (std::string call; std::getline(split, call, '|');) calls.push_back(call);
    const bool startStores = std::string(c.what).find("call 0") != std::string::npos;
    if (!startStores) calls.insert(calls.begin(), "");
    callRateReset(header, 1);
    studyOpen({}, 1);
    studySetCalls(static_cast<uint32_t>(calls.size() - 1), false);
    for (size_t k = 0; k < calls.size(); ++k) {
        studyBeginCall();
        std::istringstream in(calls[k]);
        for (std::string item; in >> item;) {
            studyStore(0, static_cast<uint16_t>(std::stoul(item.substr(0, 4), nullptr, 16)),
                       static_cast<uint8_t>(std::stoul(item.substr(5), nullptr, 16)));
        }
        callRateAfterCall(static_cast<uint32_t>(k), 0);
        studyEndCall(static_cast<uint32_t>(k), 0);
    }
    ASSERT_TRUE(studyClose(0, ""));
    EXPECT_EQ(notesText(), c.notes);
}

INSTANTIATE_TEST_SUITE_P(Table, NoteModel, testing::ValuesIn(kNoteCases));

// The example tune: voice 1 plays E-4, G-4, C-5 and C-4 in calls 1 to 4.
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

TEST_F(ExampleTune, MidiNotes) {
    RunResult r = runVoxdump(dir.path, {"arpeggio.sid", "4", "0", "1", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "arpeggio.mid"));
    EXPECT_TRUE(midi.valid);
    EXPECT_EQ(midi.format, 1);
    EXPECT_EQ(midi.tracks, 4);
    EXPECT_EQ(midi.division, 50);
    EXPECT_EQ(midi.tempo, 997515u);  // 50 ticks of 19656 cycles at 985248 Hz
    EXPECT_EQ(midi.trackNames,
              (std::vector<std::string>{"Arpeggio", "Voice 1", "Voice 2", "Voice 3"}));
    const std::vector<MidiNote> expected = {
        {1, 0, 64, 100, 1, 2}, {1, 0, 67, 100, 2, 3}, {1, 0, 72, 100, 3, 4}, {1, 0, 60, 100, 4, 5}};
    EXPECT_EQ(midi.notes, expected);
}

TEST(MidiFile, PercussionAndNtscTicks) {
    StudyInfo info{"x", "", "", 1, 1, true, kNtscClock, 10, false, 0, 1};
    TuneHeader ntsc{};
    ntsc.version = 2;
    ntsc.flags = 0x0008;
    callRateReset(ntsc, 1);
    callRateAfterCall(0, 0);
    // A noise note on voice 3 ends where a pitched note of voice 3 begins.
    const std::vector<Note> notes = {{2, true, 0, 1, 2}, {2, false, 69, 3, 3}};
    const MidiFile midi = readMidi(midiFile(info, notes));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(midi.division, 60);
    const std::vector<MidiNote> expected = {{3, 9, drumKey(2), 100, 1, 3}, {3, 2, 69, 100, 3, 4}};
    EXPECT_EQ(midi.notes, expected);
}

TEST(Roll, NoteBarsAndText) {
    StudyInfo info{"A & <B>", "\xC9mile", "", 2, 3, false, kPalClock, 3100, false, 0, 2};
    callRateReset(TuneHeader{}, 1);
    callRateAfterCall(0, 0);
    const std::vector<Note> notes = {
        {0, false, 60, 0, 10}, {0, false, 62, 11, 20}, {4, false, 70, 5, 5}, {1, true, 0, 3, 4}};
    const std::string svg = rollPicture(info, notes);
    size_t bars = 0;
    for (size_t at = svg.find("<g id=\"voice"); at != std::string::npos;
         at = svg.find("<g id=\"voice", at + 1)) {
        const std::string group = svg.substr(at, svg.find("</g>", at) - at);
        for (size_t r = group.find("<rect"); r != std::string::npos; r = group.find("<rect", r + 1))
            ++bars;
    }
    EXPECT_EQ(bars, 4u);
    EXPECT_NE(svg.find("A &amp; &lt;B&gt;"), std::string::npos);
    EXPECT_NE(svg.find("\xC3\x89mile - song 2 of 3"), std::string::npos);  // Latin-1 to UTF-8
    EXPECT_NE(svg.find(">1:00</text>"), std::string::npos);                // the time axis
    EXPECT_NE(svg.find(">C-4</text>"), std::string::npos);                 // C lines
    EXPECT_NE(svg.find(">noise</text>"), std::string::npos);               // the percussion lane
}

}  // namespace
