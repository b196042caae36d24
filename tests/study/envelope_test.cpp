// The envelope generators: cases whose levels are worked out by hand, and
// the event model against a model of the same facts that runs cycle by cycle,
// on random register streams and on the generated scores; then whole runs
// whose notes the envelopes make heard (a melody played in the release, an
// echo's velocities).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <tuple>
#include <vector>

#include "song/call_rate.h"
#include "study/envelope.h"
#include "study/score.h"
#include "support/midi_reader.h"
#include "support/test_support.h"

namespace {

struct Store {
    uint64_t cycle;
    unsigned reg;  // of the first chip
    uint8_t value;
};

struct Check {
    uint64_t cycle;
    int level;  // of voice 1
};

struct LevelCase {
    const char* what;
    std::vector<Store> stores;
    std::vector<Check> checks;
};

// Runs the stores and checks in the order of their cycles (a store before a
// check of the same cycle).
void runCase(const LevelCase& c) {
    Envelopes envelopes;
    envelopes.beginCall();
    size_t next = 0;
    for (const Check& check : c.checks) {
        for (; next < c.stores.size() && c.stores[next].cycle <= check.cycle; ++next)
            envelopes.store(c.stores[next].cycle, 0, c.stores[next].reg, c.stores[next].value);
        envelopes.endCall(check.cycle, 1);
        EXPECT_EQ(envelopes.level(0), check.level) << c.what << ", cycle " << check.cycle;
    }
}

// Attack 0, decay 0, sustain 8 (136), release 0: the gate on at cycle 0, the
// level 255 after 255 steps of 9 cycles (2295), then 119 steps down to 136.
// The gate off at 4995, right after a step: the release steps every 9
// cycles from 5004, a level a step down to 93, then 2 steps a level from 93,
// 4 from 54, 8 from 26, 16 from 14 and 30 from 6.
const std::vector<Store> kDecayToSustain = {{0, 5, 0x00}, {0, 6, 0x80}, {0, 4, 0x41}};
std::vector<Store> releasedAt4995() {
    std::vector<Store> stores = kDecayToSustain;
    stores.push_back({4995, 4, 0x40});
    return stores;
}

const LevelCase kLevelCases[] = {
    {"at the start every level is 0", {{0, 5, 0x00}, {0, 6, 0xF0}}, {{0, 0}, {100000, 0}}},
    {"decay to the sustain level",
     kDecayToSustain,
     {{9, 1}, {2294, 254}, {2295, 255}, {2304, 254}, {3365, 137}, {3366, 136}, {100000, 136}}},
    {"release from the sustain level, through each divisor's edge",
     releasedAt4995(),
     {{4995, 136},
      {5004, 135},
      {5381, 94},
      {5382, 93},  // 43 steps
      {5391, 93},
      {5400, 92},  // two steps a level
      {6083, 55},
      {6084, 54},  // 43 + 78 steps
      {7091, 27},
      {7092, 26},  // + 28 levels of 4 steps
      {7955, 15},
      {7956, 14},  // + 12 of 8
      {9107, 7},
      {9108, 6},  // + 8 of 16
      {10727, 1},
      {10728, 0},  // + 6 of 30
      {500000, 0}}},
    {"a decay towards a sustain level above the level falls to 0",
     {{0, 5, 0x00}, {0, 6, 0x00}, {0, 4, 0x41}, {2790, 6, 0xF0}},
     {{2790, 200}, {2799, 199}, {3753, 93}, {100000, 0}}},
    {"the rate lowered below the counter: the run to 32767 and the wrap first",
     {{0, 5, 0x80}, {0, 6, 0xF0}, {0, 4, 0x41}, {100, 5, 0x00}},
     {{100, 0}, {32776, 0}, {32777, 1}, {32786, 2}}},
    {"a rate raised above the counter: the count goes on to the new period",
     {{0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x41}, {4, 5, 0x10}},
     {{4, 0}, {31, 0}, {32, 1}, {64, 2}}},
    {"the gate on and off within a call keeps the exponential counter",
     // Attack to 100 (900 cycles), release for 100 steps: 7 levels of 1, 39
     // of 2, 3 of 4: level 51, 3 steps counted. On and off between steps:
     // the fourth step, at 1809, brings the level down.
     {{0, 5, 0x00}, {0, 6, 0x00}, {0, 4, 0x41}, {900, 4, 0x40}, {1800, 4, 0x41}, {1803, 4, 0x40}},
     {{1800, 51}, {1808, 51}, {1809, 50}, {1844, 50}, {1845, 49}}},
    {"an attack step restarts the exponential counter",
     {{0, 5, 0x00}, {0, 6, 0x00}, {0, 4, 0x41}, {900, 4, 0x40}, {1800, 4, 0x41}, {1810, 4, 0x40}},
     {{1809, 52}, {1836, 52}, {1844, 52}, {1845, 51}}},
    {"the attack at 255 ends at the next step",
     {{0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x41}, {2295, 4, 0x40}, {2296, 4, 0x41}},
     {{2296, 255}, {2304, 255}, {100000, 255}}},
};

void PrintTo(const LevelCase& c, std::ostream* out) {
    *out << c.what;
}

class EnvelopeLevels : public testing::TestWithParam<LevelCase> {};

TEST_P(EnvelopeLevels, ByHand) {
    runCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, EnvelopeLevels, testing::ValuesIn(kLevelCases));

// The attack takes 255 periods of its rate: the level 254 a cycle before.
TEST(EnvelopeLevels, AttackTimes) {
    const uint64_t kFull[16] = {2295,  8160,   16065,  24225,  37995,  56100,   68085,   79815,
                                99960, 249135, 498270, 797130, 996285, 2988600, 4980660, 7969005};
    for (unsigned rate = 0; rate < 16; ++rate) {
        const auto ad = static_cast<uint8_t>(rate << 4);
        runCase({"attack",
                 {{0, 5, ad}, {0, 6, 0xF0}, {0, 4, 0x11}},
                 {{kFull[rate] / 255, 1}, {kFull[rate] - 1, 254}, {kFull[rate], 255}}});
    }
}

// How loud a call is heard: the level where a stretch begins and ends, times
// the volume / 15; heard at all when the level reaches 16 with a waveform,
// the test bit clear and the volume not 0.
struct HeardCase {
    const char* what;
    std::vector<Store> stores;
    uint64_t end;  // of the call
    int loudness;
};

const HeardCase kHeardCases[] = {
    // Attack rate 8: 392 cycles a step, level 16 at 6272.
    {"level 15 is not heard", {{0, 24, 0x0F}, {0, 5, 0x80}, {0, 6, 0xF0}, {0, 4, 0x41}}, 6271, 0},
    {"level 16 is", {{0, 24, 0x0F}, {0, 5, 0x80}, {0, 6, 0xF0}, {0, 4, 0x41}}, 6272, 16},
    {"half the volume", {{0, 24, 0x08}, {0, 5, 0x80}, {0, 6, 0xF0}, {0, 4, 0x41}}, 39200, 53},
    {"volume 0", {{0, 24, 0x00}, {0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x41}}, 20000, 0},
    {"the test bit", {{0, 24, 0x0F}, {0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x49}}, 20000, 0},
    {"no waveform", {{0, 24, 0x0F}, {0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x01}}, 20000, 0},
    {"a waveform for part of the call",
     {{0, 24, 0x0F}, {0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x01}, {5000, 4, 0x21}, {6000, 4, 0x01}},
     20000,
     255},
    {"the volume turned up within the call",
     {{0, 24, 0x05}, {0, 5, 0x00}, {0, 6, 0xF0}, {0, 4, 0x41}, {5000, 24, 0x0A}},
     20000,
     170},
    {"a fast attack and decay to 0 within the call: heard, at the least loudness",
     {{0, 24, 0x0F}, {0, 5, 0x00}, {0, 6, 0x00}, {0, 4, 0x41}},
     20000,
     1},
};

void PrintTo(const HeardCase& c, std::ostream* out) {
    *out << c.what;
}

class EnvelopeHeard : public testing::TestWithParam<HeardCase> {};

TEST_P(EnvelopeHeard, Loudness) {
    const HeardCase& c = GetParam();
    Envelopes envelopes;
    envelopes.beginCall();
    for (const Store& s : c.stores) envelopes.store(s.cycle, 0, s.reg, s.value);
    envelopes.endCall(c.end, 1);
    EXPECT_EQ(envelopes.loudness(0), c.loudness);
}

INSTANTIATE_TEST_SUITE_P(Table, EnvelopeHeard, testing::ValuesIn(kHeardCases));

// The same facts, cycle by cycle.
class CycleModel {
public:
    explicit CycleModel(int chips)
        : voices_(static_cast<size_t>(chips) * 3), volume_(static_cast<size_t>(chips), 0) {}

    // A store at `cycle` (earlier ones are taken at the latest cycle).
    void store(uint64_t cycle, int chip, unsigned reg, uint8_t value) {
        cycle = std::max(cycle, now_);
        runTo(cycle);
        // A store that changes nothing is no event.
        if (reg == 24) {
            if ((value & 0x0F) == volume_[static_cast<size_t>(chip)]) return;
            for (int k = 0; k < 3; ++k) split(voices_[static_cast<size_t>(chip * 3 + k)], chip);
            volume_[static_cast<size_t>(chip)] = value & 0x0F;
            return;
        }
        if (reg >= 21 || reg % 7 < 4) return;
        Voice& v = voices_[static_cast<size_t>(chip * 3) + reg / 7];
        const uint8_t held = reg % 7 == 4   ? v.control
                             : reg % 7 == 5 ? v.attackDecay
                                            : v.sustainRelease;
        if (value == held) return;
        split(v, chip);
        if (reg % 7 == 5) v.attackDecay = value;
        if (reg % 7 == 6) v.sustainRelease = value;
        if (reg % 7 == 4) {
            if ((value & 1) && !(v.control & 1)) v.phase = kAttack, v.attacked = true;
            if (!(value & 1) && (v.control & 1)) v.phase = kRelease;
            v.control = value;
        }
    }
    void beginCall() {
        for (Voice& v : voices_) v.loudness = 0, v.attacked = false;
    }
    void endCall(uint64_t cycle) {
        runTo(std::max(cycle, now_));
        for (size_t k = 0; k < voices_.size(); ++k) split(voices_[k], static_cast<int>(k / 3));
    }
    int level(int voice) const { return voices_[static_cast<size_t>(voice)].level; }
    int loudness(int voice) const { return voices_[static_cast<size_t>(voice)].loudness; }
    bool attacked(int voice) const { return voices_[static_cast<size_t>(voice)].attacked; }

private:
    enum { kAttack, kDecay, kRelease };
    struct Voice {
        int counter = 0, level = 0, exponent = 0, phase = kRelease;
        uint8_t control = 0, attackDecay = 0, sustainRelease = 0;
        // The stretch since the last store that concerns the voice.
        uint64_t since = 0;
        int startLevel = 0, peak = 0;
        int loudness = 0;
        bool attacked = false;
    };

    static int period(const Voice& v) {
        static const int kPeriods[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                         392, 977, 1954, 3126, 3907, 11720, 19532, 31251};
        const int rate = v.phase == kAttack  ? v.attackDecay >> 4
                         : v.phase == kDecay ? v.attackDecay & 15
                                             : v.sustainRelease & 15;
        return kPeriods[rate];
    }
    static int divisor(int level) {
        if (level <= 6) return 30;
        if (level <= 14) return 16;
        if (level <= 26) return 8;
        if (level <= 54) return 4;
        if (level <= 93) return 2;
        return 1;
    }
    static void cycle(Voice& v) {
        v.counter = (v.counter + 1) & 0x7FFF;
        if (v.counter != period(v)) return;
        v.counter = 0;
        if (v.phase == kAttack) {
            v.exponent = 0;
            if (v.level < 255) ++v.level;
            if (v.level == 255) v.phase = kDecay;
            return;
        }
        if (++v.exponent != divisor(v.level)) return;
        v.exponent = 0;
        const int sustain = (v.sustainRelease >> 4) * 17;
        const bool atFloor = v.level == 0 || (v.phase == kDecay && v.level == sustain);
        if (!atFloor) --v.level;
    }
    void runTo(uint64_t cycle) {
        for (; now_ < cycle; ++now_) {
            for (Voice& v : voices_) {
                CycleModel::cycle(v);
                v.peak = std::max(v.peak, v.level);
            }
        }
    }
    // A stretch of the voice ends now: was it heard, how loud.
    void split(Voice& v, int chip) {
        const int volume = volume_[static_cast<size_t>(chip)];
        if (now_ > v.since && (v.control & 0xF0) && !(v.control & 8) && volume > 0 &&
            v.peak >= 16) {
            v.loudness = std::max({v.loudness, std::max(v.startLevel, v.level) * volume / 15, 1});
        }
        v.since = now_;
        v.startLevel = v.peak = v.level;
    }

    std::vector<Voice> voices_;
    std::vector<int> volume_;
    uint64_t now_ = 0;
};

// Per call: its period and its stores (cycles within the call).
struct Stream {
    std::vector<uint32_t> periods;
    std::vector<std::vector<Store>> calls;  // reg: of the chip `chip`
    std::vector<std::vector<int>> chips;    // per store
};

// Compares the two models call by call; returns the calls compared.
void compare(const Stream& stream, int chips, const std::string& what) {
    CycleModel cycles(chips);
    Envelopes envelopes;
    uint64_t start = 0;
    for (size_t call = 0; call < stream.calls.size(); ++call) {
        envelopes.beginCall();
        cycles.beginCall();
        for (size_t k = 0; k < stream.calls[call].size(); ++k) {
            const Store& s = stream.calls[call][k];
            const int chip = stream.chips.empty() ? 0 : stream.chips[call][k];
            envelopes.store(start + s.cycle, chip, s.reg, s.value);
            cycles.store(start + s.cycle, chip, s.reg, s.value);
        }
        start += stream.periods[call];
        envelopes.endCall(start, chips);
        cycles.endCall(start);
        for (int v = 0; v < chips * 3; ++v) {
            ASSERT_EQ(envelopes.level(v), cycles.level(v))
                << what << ", call " << call << ", voice " << v + 1;
            ASSERT_EQ(envelopes.loudness(v), cycles.loudness(v))
                << what << ", call " << call << ", voice " << v + 1;
            ASSERT_EQ(envelopes.attacked(v), cycles.attacked(v))
                << what << ", call " << call << ", voice " << v + 1;
        }
    }
}

// Random stores into the control, envelope and volume registers at random
// times, in calls of random periods; a few stamped past their call's end
// (a long start routine) or before the store before them.
Stream randomStream(uint32_t seed, size_t calls, int chips) {
    std::mt19937 random(seed);
    const auto pick = [&](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    Stream s;
    for (size_t call = 0; call < calls; ++call) {
        const uint32_t period = pick(0, 3) == 0 ? pick(2000, 40000) : pick(15000, 21000);
        s.periods.push_back(period);
        std::vector<Store> stores;
        std::vector<int> chip;
        const uint32_t count = pick(0, 3) == 0 ? 0 : pick(1, 10);
        uint32_t at = pick(0, 500);
        for (uint32_t k = 0; k < count; ++k) {
            at += pick(0, 3) == 0 ? pick(0, 8) : pick(10, period / 4);
            if (pick(0, 30) == 0) at = at > 300 ? at - 300 : 0;  // behind the clock
            const uint32_t kind = pick(0, 9);
            const unsigned voice = pick(0, 2);
            unsigned reg = 24;
            uint8_t value = static_cast<uint8_t>(pick(0, 3) == 0 ? 0 : pick(1, 15));
            if (kind < 5) {
                reg = voice * 7 + 4;
                value = static_cast<uint8_t>((pick(0, 4) == 0 ? 0 : 0x10u << pick(0, 3)) |
                                             (pick(0, 2) ? 1 : 0) | (pick(0, 5) == 0 ? 8 : 0));
            } else if (kind < 8) {
                reg = voice * 7 + 5 + (kind & 1);
                // Fast rates mostly, so that much happens.
                value = static_cast<uint8_t>(pick(0, 15) << 4 |
                                             (pick(0, 1) ? pick(0, 4) : pick(0, 15)));
            }
            stores.push_back({at, reg, value});
            chip.push_back(static_cast<int>(pick(0, static_cast<uint32_t>(chips - 1))));
        }
        s.calls.push_back(stores);
        s.chips.push_back(chip);
    }
    return s;
}

TEST(EnvelopeModels, AgreeOnRandomStreams) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const int chips = seed % 4 == 0 ? 2 : 1;
        compare(randomStream(seed, 150, chips), chips, "seed " + std::to_string(seed));
    }
}

// The generated scores' stores, as their player makes them: a store every
// 25 cycles from cycle 30 of a screen-timed call.
TEST(EnvelopeModels, AgreeOnGeneratedScores) {
    const Device kDevices[] = {Device::Plain,     Device::HardRestart, Device::Drum,
                               Device::InRelease, Device::ReleaseOnly, Device::LoweredRate,
                               Device::Accent,    Device::Echo};
    for (const Device device : kDevices) {
        const Score score = makeScore(device, 3, 300, 0);
        Stream s;
        for (const auto& writes : score.writes) {
            s.periods.push_back(19656);
            std::vector<Store> stores;
            for (const auto& [reg, value] : writes)
                stores.push_back({30 + 25 * stores.size(), reg, value});
            s.calls.push_back(stores);
        }
        compare(s, 1, deviceName(device));
    }
}

// The keys of a channel's notes in the order they begin.
std::vector<int> keysOf(const MidiFile& midi, int channel) {
    std::vector<MidiNote> on;
    for (const MidiNote& n : midi.notes)
        if (n.channel == channel) on.push_back(n);
    std::stable_sort(on.begin(), on.end(),
                     [](const MidiNote& a, const MidiNote& b) { return a.on < b.on; });
    std::vector<int> keys;
    for (const MidiNote& n : on) keys.push_back(n.key);
    return keys;
}

// The frequency register of a key on PAL.
std::pair<uint8_t, uint8_t> frequencyOf(int key) {
    const double hertz = 440 * std::pow(2.0, (key - 69) / 12.0);
    const auto value = static_cast<unsigned>(std::lround(hertz * 16777216 / kPalClock));
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

// A melody played in the release, as some players do: voice 2's gate on
// with the test bit set and no waveform, off two calls later with a fast
// release written while the counter runs at the decay's period (the level
// holds until the counter has wrapped), and the sawtooth on a call after
// that. Each note is heard for about a call; voice 1 plays a bass below.
TEST(Envelope, MelodyPlayedInTheRelease) {
    const int melody[] = {64, 62, 60, 62, 64, 64, 64, 62, 62, 62, 64, 67, 67};
    CallWrites writes(1 + 6 * std::size(melody) + 6);
    for (size_t k = 0; k < std::size(melody); ++k) {
        const size_t at = 1 + 6 * k;
        const auto [low, high] = frequencyOf(melody[k]);
        writes[at] = {{7, low}, {8, high}, {12, 0x04}, {13, 0x7A}, {11, 0x09}};
        writes[at + 2] = {{11, 0x08}, {12, 0x0F}, {13, 0x00}};
        writes[at + 3] = {{11, 0x20}};
        if (k % 2 == 0) {
            const auto [bassLow, bassHigh] = frequencyOf(k % 4 == 0 ? 36 : 43);
            writes[at].insert(
                writes[at].end(),
                {{0, bassLow}, {1, bassHigh}, {5, 0x09}, {6, 0xA0}, {4, 0x40}, {4, 0x41}});
            writes[at + 10] = {{4, 0x40}};
        }
    }
    ScratchDir dir;
    writeFile(dir.path / "t.sid", playerTune(writes));
    const RunResult r =
        runVoxdump(dir.path, {"t.sid", std::to_string(writes.size() - 1), "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    EXPECT_EQ(keysOf(midi, 1), std::vector<int>(std::begin(melody), std::end(melody)));
    EXPECT_EQ(keysOf(midi, 0), (std::vector<int>{36, 43, 36, 43, 36, 43, 36}));
    // On the sawtooth's call, 4 into the 6 of a note: the notes begin on
    // rows of 3 calls from call 1, which the file starts 2 ticks before call
    // 0 so that they stand on its grid.
    for (const MidiNote& n : midi.notes)
        if (n.channel == 1) {
            EXPECT_EQ(n.on % 6, 0u) << n.key;
        }
}

// An echo: voice 2 repeats voice 1's line a row later at sustain level 6
// (102 of 255): velocity 127 sqrt(102 / 255) = 80.3 against 127. The notes
// begin on rows of 6 calls from call 1: call c at tick c + 5.
TEST(Envelope, VelocitiesOfAnEcho) {
    const int line[] = {60, 64, 67, 72};
    CallWrites writes(1 + 12 * std::size(line) + 18);
    for (size_t k = 0; k < std::size(line); ++k) {
        const auto [low, high] = frequencyOf(line[k]);
        for (uint8_t voice = 0; voice < 2; ++voice) {
            const size_t at = 1 + 12 * k + 6 * voice;
            const auto r = static_cast<uint8_t>(7 * voice);
            writes[at].insert(writes[at].end(), {{r, low},
                                                 {static_cast<uint8_t>(r + 1), high},
                                                 {static_cast<uint8_t>(r + 5), 0x00},
                                                 {static_cast<uint8_t>(r + 6),
                                                  voice == 0 ? uint8_t{0xF0} : uint8_t{0x60}},
                                                 {static_cast<uint8_t>(r + 4), 0x41}});
            writes[at + 5].push_back({static_cast<uint8_t>(r + 4), 0x40});
        }
    }
    ScratchDir dir;
    writeFile(dir.path / "t.sid", playerTune(writes));
    const RunResult r =
        runVoxdump(dir.path, {"t.sid", std::to_string(writes.size() - 1), "--midi", "--roll"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
    ASSERT_TRUE(midi.valid);
    std::vector<std::tuple<int, int, uint32_t, int>> heard;  // channel, key, onset, velocity
    for (const MidiNote& n : midi.notes) heard.push_back({n.channel, n.key, n.on, n.velocity});
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard,
              (std::vector<std::tuple<int, int, uint32_t, int>>{{0, 60, 6, 127},
                                                                {0, 64, 18, 127},
                                                                {0, 67, 30, 127},
                                                                {0, 72, 42, 127},
                                                                {1, 60, 12, 80},
                                                                {1, 64, 24, 80},
                                                                {1, 67, 36, 80},
                                                                {1, 72, 48, 80}}));
    // The picture draws the echo lighter: velocity 80 of 127, opacity 0.7.
    const std::string svg = readFile(dir.path / "t.svg");
    const std::string voice2 = svg.substr(svg.find("<g id=\"voice2\""));
    EXPECT_EQ(
        std::count(voice2.begin(), voice2.begin() + static_cast<long>(voice2.find("</g>")), '<') -
            1,
        4);
    EXPECT_NE(voice2.find("fill-opacity=\"0.7\""), std::string::npos);
    const std::string voice1 =
        svg.substr(svg.find("<g id=\"voice1\""), svg.find("<g id=\"voice2\""));
    EXPECT_EQ(voice1.substr(0, voice1.find("</g>")).find("fill-opacity"), std::string::npos);
}

// The real tune that plays its melody in the release: E D C D E E E, D D D,
// E G G on one track, in order.
TEST(Envelope, MaryHadALittleLamb) {
    const std::filesystem::path tune =
        sharedDir() / "tunes/psid/raycaster__Mary_Had_a_Little_Lamb_Gurce.sid";
    if (sharedDir().empty() || !std::filesystem::exists(tune)) GTEST_SKIP() << "no shared tunes";
    ScratchDir dir;
    std::filesystem::copy_file(tune, dir.path / "m.sid");
    const RunResult r = runVoxdump(dir.path, {"m.sid", "1500", "--undocumented", "--midi"});
    ASSERT_EQ(r.status, 0) << r.err;
    const MidiFile midi = readMidi(readFile(dir.path / "m.mid"));
    ASSERT_TRUE(midi.valid);
    const std::vector<int> melody = {64, 62, 60, 62, 64, 64, 64, 62, 62, 62, 64, 67, 67};
    int found = -1;
    for (int channel = 0; channel < 3; ++channel) {
        const std::vector<int> keys = keysOf(midi, channel);
        if (std::search(keys.begin(), keys.end(), melody.begin(), melody.end()) != keys.end())
            found = channel;
    }
    EXPECT_GE(found, 0) << "voice 2 plays " << testing::PrintToString(keysOf(midi, 1));
}

}  // namespace
