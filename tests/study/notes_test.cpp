// The note model's rules, case by case: the chip's state call by call, and
// the notes a musician would write for it.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <optional>

#include "song/call_rate.h"
#include "study/notes.h"
#include "study/pitch.h"
#include "study/study.h"
#include "tune/tune.h"

namespace {

constexpr uint8_t kTri = 0x11, kPul = 0x41, kNoi = 0x81;  // waveform, gate on

// The calls of a case, voice 1 unless said: each call's stores.
class Calls {
public:
    // The next call; the first is call 1 (the start routine stores nothing).
    Calls& call() {
        calls_.emplace_back();
        return *this;
    }
    // The frequency register of a pitch: key and cents.
    Calls& pitch(double key, int voice = 0) {
        const double hertz = 440 * std::pow(2.0, (key - 69) / 12);
        const auto value = static_cast<unsigned>(std::lround(hertz * 16777216 / kPalClock));
        store(voice * 7, value & 0xFF);
        return store(voice * 7 + 1, value >> 8);
    }
    Calls& control(uint8_t value, int voice = 0) { return store(voice * 7 + 4, value); }
    Calls& envelope(uint8_t value) { return store(5, value).store(6, value); }
    Calls& envelope(uint8_t attackDecay, uint8_t sustainRelease, int voice = 0) {
        return store(voice * 7 + 5, attackDecay).store(voice * 7 + 6, sustainRelease);
    }
    // Gate off and on in one call.
    Calls& retrigger(uint8_t wave, int voice = 0) {
        return control(wave & 0xFE, voice).control(wave, voice);
    }
    // `count` calls of pitches from `pitchOf(k)`, k counting the calls.
    Calls& calls(int count, const std::function<double(int)>& pitchOf) {
        for (int k = 0; k < count; ++k) call().pitch(pitchOf(k));
        return *this;
    }

    // Runs the study over the calls and returns its notes as text; `most`
    // not 0: the study keeps at most that many entries a voice.
    std::string notes(uint32_t most = 0) {
        TuneHeader header{};
        header.version = 2;
        CallRate rate(header, 1);
        Study& study = study_.emplace(header, StudyFiles{}, 1);
        if (most != 0) study.bound(most);
        study.setCalls(static_cast<uint32_t>(calls_.size()), false);
        for (uint32_t call = 0; call <= calls_.size(); ++call) {
            study.beginCall(rate);
            if (call == 0) {
                // Full volume; every voice's envelope attacks at once and
                // holds its level while the gate is on.
                study.store(10, 0xD418, 0x0F);
                for (uint16_t v = 0; v < 3; ++v) {
                    study.store(20, static_cast<uint16_t>(0xD405 + 7 * v), 0x00);
                    study.store(30, static_cast<uint16_t>(0xD406 + 7 * v), 0xF0);
                }
            } else {
                for (const auto& [reg, value] : calls_[call - 1])
                    study.store(0, static_cast<uint16_t>(0xD400 + reg), value);
            }
            rate.afterCall(call, 0);
            study.endCall(call, 0, rate);
        }
        if (!study.close(SongSpan{}, "", rate)) return "(not written)";
        std::string text;
        for (const Note& n : study.notes().notes()) {
            char name[8];
            text += (text.empty() ? "" : ", ") + std::to_string(n.voice + 1) + ":";
            if (n.kind == NoteKind::Drum) {
                text += "drum";
            } else {
                text += std::string(n.kind == NoteKind::Chord ? "chord " : "") +
                        std::string(name, putNoteName(name, n.key));
            }
            text += ' ';
            text += std::to_string(n.first) + "-" + std::to_string(n.last);
        }
        return text;
    }

    // The notes of the run made by notes().
    NoteModel& model() { return study_->notes(); }

private:
    Calls& store(int reg, unsigned value) {
        calls_.back().push_back({reg, static_cast<uint8_t>(value)});
        return *this;
    }
    std::vector<std::vector<std::pair<int, uint8_t>>> calls_;
    std::optional<Study> study_;
};

// Call k of a pattern that repeats.
int step(std::initializer_list<int> pattern, int k) {
    return pattern.begin()[static_cast<size_t>(k) % pattern.size()];
}

// A triangle swinging -1 to 1 over `period` calls.
double swing(int k, int period) {
    const double phase = static_cast<double>(k % period) / period;
    return phase < 0.25 ? 4 * phase : phase < 0.75 ? 2 - 4 * phase : 4 * phase - 4;
}

struct RuleCase {
    const char* what;
    std::function<void(Calls&)> build;
    const char* notes;
};

// clang-format off
const RuleCase kRules[] = {
    {"plain notes, the gate off between them", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; }).call().control(0x40);
         c.call().control(kPul).pitch(67).calls(5, [](int) { return 67; }); },
     "1:E-4 1-7, 1:G-4 8-13"},
    {"a hard restart: gate off and envelope 0 for two calls", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; });
         c.call().control(0x40).envelope(0).call().call().envelope(0x00, 0xF0).control(kPul).pitch(67)
             .calls(5, [](int) { return 67; }); },
     "1:E-4 1-7, 1:G-4 9-14"},
    {"a retrigger inside a call begins a note of the same key", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; });
         c.call().retrigger(kPul).calls(5, [](int) { return 64; }); },
     "1:E-4 1-6, 1:E-4 7-12"},
    {"the test bit set and released inside a call retriggers", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; });
         c.call().control(kPul | 0x08).control(kPul).calls(5, [](int) { return 64; }); },
     "1:E-4 1-6, 1:E-4 7-12"},
    {"a drum table: noise, then a falling pitch", [](Calls& c) {
         c.call().control(kNoi).pitch(100).call().control(kPul).pitch(60).call().pitch(57)
             .call().pitch(54).call().pitch(51).call().control(0x40); },
     "1:drum 1-6"},
    {"a click, then noise, then a falling pitch", [](Calls& c) {
         c.call().control(kPul).pitch(80).call().control(kNoi).pitch(100).call().control(kTri).pitch(50)
             .call().pitch(48).call().pitch(46).call().pitch(44).call().control(0x10); },
     "1:drum 1-7"},
    {"a tom: noise, a pitch that falls fast, then a long release on its last key", [](Calls& c) {
         c.call().envelope(0x00, 0xAB).control(kNoi).pitch(100).call().control(kPul).pitch(60)
             .call().pitch(57).call().pitch(54).call().control(0x40).calls(20, [](int) { return 54; }); },
     "1:drum 1-25"},
    {"a pitch that falls two semitones a call, held long after", [](Calls& c) {
         c.call().control(kNoi).pitch(100).call().control(kTri).pitch(50).call().pitch(48)
             .call().pitch(46).calls(12, [](int) { return 46; }); },
     "1:drum 1-16"},
    {"noise, then an arpeggio that steps down: a chord", [](Calls& c) {
         c.call().control(kNoi).pitch(100).call().control(kPul).pitch(76)
             .calls(11, [](int k) { return 76 - step({5, 9, 0}, k); }); },
     "1:chord G-4 1-13, 1:chord B-4 1-13, 1:chord E-5 1-13"},
    {"a fall of a semitone a call, then held: a note", [](Calls& c) {
         c.call().control(kNoi).pitch(100).call().control(kPul).pitch(47).call().pitch(46)
             .call().pitch(45).calls(12, [](int) { return 45; }); },
     "1:A-2 1-16"},
    {"noise as the attack of a held note", [](Calls& c) {
         c.call().control(kNoi).pitch(100).call().control(kPul).pitch(45).calls(8, [](int) { return 45; }); },
     "1:A-2 1-10"},
    {"an arpeggio of two keys, a call each", [](Calls& c) {
         c.call().control(kPul).pitch(60).calls(11, [](int k) { return k % 2 ? 60 : 72; }); },
     "1:chord C-4 1-12, 1:chord C-5 1-12"},
    {"an arpeggio of three keys, two calls each", [](Calls& c) {
         c.call().control(kPul).pitch(60).calls(17, [](int k) { return 60 + step({0, 4, 4, 7, 7, 0}, k); }); },
     "1:chord C-4 1-18, 1:chord E-4 1-18, 1:chord G-4 1-18"},
    {"an arpeggio of four keys", [](Calls& c) {
         c.call().control(kPul).pitch(57).calls(15, [](int k) { return 57 + step({3, 7, 12, 0}, k); }); },
     "1:chord A-3 1-16, 1:chord C-4 1-16, 1:chord E-4 1-16, 1:chord A-4 1-16"},
    {"a chord that changes without the gate", [](Calls& c) {
         c.call().control(kPul).pitch(60).calls(11, [](int k) { return 60 + step({4, 7, 0}, k); });
         c.calls(12, [](int k) { return 62 + step({0, 3, 7}, k); }); },
     "1:chord C-4 1-12, 1:chord E-4 1-12, 1:chord G-4 1-12, "
     "1:chord D-4 13-24, 1:chord F-4 13-24, 1:chord A-4 13-24"},
    {"a short stab of a chord", [](Calls& c) {
         c.call().control(kPul).pitch(67).call().pitch(67).call().pitch(64).call().pitch(64).call().pitch(59); },
     "1:chord B-3 1-5, 1:chord E-4 1-5, 1:chord G-4 1-5"},
    {"neighbouring keys in turn are no chord", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(11, [](int k) { return 64 + k % 2; }); },
     "1:E-4 1-12"},
    {"vibrato of 90 cents across the key's edges", [](Calls& c) {
         c.call().control(kTri).pitch(64).calls(5, [](int) { return 64; });
         c.calls(48, [](int k) { return 64 + 0.9 * swing(k, 16); }); },
     "1:E-4 1-54"},
    {"a fast vibrato: 4 calls a swing", [](Calls& c) {
         c.call().control(kTri).pitch(64).calls(39, [](int k) { return 64 + 0.8 * swing(k, 4); }); },
     "1:E-4 1-40"},
    {"legato: a new key held without the gate", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; });
         c.calls(6, [](int) { return 65; }).calls(6, [](int) { return 62; }); },
     "1:E-4 1-6, 1:F-4 7-12, 1:D-4 13-18"},
    {"a key held 3 calls is not a note", [](Calls& c) {
         c.call().control(kPul).pitch(64).calls(5, [](int) { return 64; });
         c.calls(3, [](int) { return 67; }).calls(6, [](int) { return 64; }); },
     "1:E-4 1-15"},
    {"a slide up: the new note begins in the glide", [](Calls& c) {
         c.call().control(kPul).pitch(60).calls(7, [](int) { return 60; });
         c.calls(8, [](int k) { return 60 + 7.0 * (k + 1) / 8; }).calls(8, [](int) { return 67; }); },
     "1:C-4 1-13, 1:G-4 14-24"},
    {"a slide down", [](Calls& c) {
         c.call().control(kPul).pitch(72).calls(7, [](int) { return 72; });
         c.calls(4, [](int k) { return 72 - 2.0 * (k + 1) / 4; }).calls(8, [](int) { return 70; }); },
     "1:C-5 1-9, 1:A#4 10-20"},
    {"a slow sweep holds no key", [](Calls& c) {
         c.call().control(kPul).pitch(60).calls(6, [](int) { return 60; });
         c.calls(48, [](int k) { return 60 + 0.1 * (k + 1); }).calls(6, [](int) { return 64.8; }); },
     "1:C-4 1-51, 1:F-4 52-61"},
    {"a tune 30 cents sharp keeps its keys", [](Calls& c) {
         c.call().control(kPul).pitch(64.3).calls(5, [](int) { return 64.3; }).call().control(0x40);
         c.call().control(kPul).pitch(66.3).calls(24, [](int k) { return 66.3 + 0.4 * swing(k, 8); }); },
     "1:E-4 1-7, 1:F#4 8-32"},
    {"the test bit silences", [](Calls& c) {
         c.call().control(kPul | 0x08).pitch(64).call().control(kPul).call().control(kPul | 0x08).call().control(kPul); },
     "1:E-4 2-2, 1:E-4 4-4"},
    {"voices 2 and 3", [](Calls& c) {
         c.call().control(kTri, 1).pitch(64, 1).call().control(kTri, 2).pitch(67, 2); },
     "2:E-4 1-2, 3:G-4 2-2"},
};
// clang-format on

void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << c.what;
}

class NoteRules : public testing::TestWithParam<RuleCase> {};

TEST_P(NoteRules, Notes) {
    Calls calls;
    GetParam().build(calls);
    EXPECT_EQ(calls.notes(), GetParam().notes);
}

INSTANTIATE_TEST_SUITE_P(Table, NoteRules, testing::ValuesIn(kRules));

TEST(NoteRules, TuningAndBends) {
    Calls c;
    c.call().control(kPul).pitch(64.3).calls(9, [](int) { return 64.3; });
    ASSERT_EQ(c.notes(), "1:E-4 1-10");
    EXPECT_NEAR(c.model().tuning(), 300, 2);
    const Note& n = c.model().notes()[0];
    for (uint32_t k = 0; k < 10; ++k) EXPECT_NEAR(c.model().bends()[n.bends + k], 300, 2);
}

// The calls in which a voice is heard, for the silence between songs: a
// note rings in its release (rate 0 here: a call), and not after it.
TEST(NoteRules, HeardCalls) {
    Calls c;
    c.call().control(kPul).pitch(64).calls(3, [](int) { return 64; }).call().control(0x40);
    c.call().call().control(kPul | 0x08).call().control(0x00, 1).pitch(60, 1);
    ASSERT_EQ(c.notes(), "1:E-4 1-5");
    std::string heard;
    for (uint32_t call = 0; call <= 9; ++call) heard += c.model().heard(0, call) ? '1' : '0';
    EXPECT_EQ(heard, "0111110000");  // call 7: the test bit; call 9: after the last
    EXPECT_EQ(c.model().loudness(0, 1), 255);
    EXPECT_FALSE(c.model().heard(1, 8));  // voice 2 has no waveform
}

// Past its bound the model keeps an entry for 2, 4, 8... calls: the notes
// begin and end on the entries' edges (at most an entry early), the last
// ends with the last call, and a voice is heard in an entry's every call when
// it was in one of them.
TEST(NoteRules, BoundedEntries) {
    const auto fourNotes = [] {
        Calls c;
        c.call().control(kPul).pitch(60).calls(63, [](int) { return 60; });
        c.calls(64, [](int) { return 64; }).calls(64, [](int) { return 67; });
        c.calls(64, [](int) { return 72; });
        return c;
    };
    Calls whole = fourNotes();
    EXPECT_EQ(whole.notes(), "1:C-4 1-64, 1:E-4 65-128, 1:G-4 129-192, 1:C-5 193-256");
    // 257 calls in at most 32 entries: 16 calls an entry.
    Calls bounded = fourNotes();
    EXPECT_EQ(bounded.notes(32), "1:C-4 0-63, 1:E-4 64-127, 1:G-4 128-191, 1:C-5 192-256");
    EXPECT_EQ(bounded.model().shift(), 4);
    EXPECT_TRUE(bounded.model().heard(0, 0));
    EXPECT_TRUE(bounded.model().heard(0, 256));
    EXPECT_FALSE(bounded.model().heard(0, 257));
    // Within the bound nothing changes.
    Calls roomy = fourNotes();
    EXPECT_EQ(roomy.notes(257), whole.notes());
    EXPECT_EQ(roomy.model().shift(), 0);
}

}  // namespace
