#include "study/score.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>

#include "study/midi.h"
#include "support/midi_reader.h"

namespace {

constexpr uint32_t kRow = 6;       // calls a row
constexpr double kClock = 985248;  // PAL
constexpr uint8_t kPulse = 0x40, kTriangle = 0x10, kSawtooth = 0x20, kNoise = 0x80;

// The player: the start routine points $FB/$FC at the data and sets the
// volume; each play call writes (register, value) pairs up to $FF and moves
// the pointer past them.
const char* const kPlayer =
    "a9 00 85 fb a9 11 85 fc a9 0f 8d 18 d4 60 ea ea "  // $1000: start
    "a0 00 b1 fb c9 ff f0 0a aa c8 b1 fb 9d 00 d4 c8 d0 f0 c8 98 18 65 fb 85 fb 90 02 e6 fc 60";

// The register value nearest a pitch in thousandths of a key.
uint16_t registerOf(double milli) {
    const double hertz = 440 * std::pow(2.0, (milli / 1000 - 69) / 12);
    return static_cast<uint16_t>(std::clamp(std::lround(hertz * 16777216 / kClock), 1L, 65535L));
}

int32_t pitchOfRegister(uint16_t value) {
    const double hertz = value * kClock / 16777216;
    return static_cast<int32_t>(std::lround((69 + 12 * std::log2(hertz / 440)) * 1000));
}

class Builder {
public:
    Builder(uint32_t calls, int tuning, uint32_t seed)
        : writes_(calls + 1), random_(seed), tuning_(tuning) {
        score_.pitch.assign(calls + 1, std::vector<int32_t>(3, kNoScorePitch));
    }

    uint32_t calls() const { return static_cast<uint32_t>(writes_.size()) - 1; }
    uint32_t pick(uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random_);
    }

    // The frequency of a pitch in thousandths of a key (the tuning added);
    // `pitched`: one pitched note sounds in the call.
    void frequency(uint32_t call, int voice, double milli, bool pitched) {
        const uint16_t value = registerOf(milli + tuning_ * 10);
        write(call, voice, 0, static_cast<uint8_t>(value));
        write(call, voice, 1, static_cast<uint8_t>(value >> 8));
        if (pitched) score_.pitch[call][static_cast<size_t>(voice)] = pitchOfRegister(value);
    }
    void control(uint32_t call, int voice, uint8_t value) { write(call, voice, 4, value, true); }
    void envelope(uint32_t call, int voice, uint8_t ad, uint8_t sr) {
        write(call, voice, 5, ad);
        write(call, voice, 6, sr);
    }
    void note(int voice, int key, uint32_t earliest, uint32_t latest) {
        score_.notes.push_back({voice, key, earliest, latest});
    }

    void note(int voice, int key, uint32_t earliest, uint32_t latest, int loudness) {
        score_.notes.push_back({voice, key, earliest, latest, loudness});
    }
    // The notes are heard `calls` into their rows.
    void phase(uint32_t calls) { score_.phase = calls % kRow; }

    Score finish() {
        score_.tune = playerTune(writes_);
        score_.writes = writes_;
        score_.writes[0] = {{24, 0x0F}};
        return score_;
    }

private:
    // Writes a register unless it holds the value already (control always
    // when `always`, for the gate's off and on within a call).
    void write(uint32_t call, int voice, int reg, uint8_t value, bool always = false) {
        const size_t at = static_cast<size_t>(voice * 7 + reg);
        if (!always && known_[at] && registers_[at] == value) return;
        known_[at] = true;
        registers_[at] = value;
        writes_[call].push_back({static_cast<uint8_t>(at), value});
    }

    std::vector<std::vector<std::pair<uint8_t, uint8_t>>> writes_;
    std::array<uint8_t, 21> registers_{};
    std::array<bool, 21> known_{};
    std::mt19937 random_;
    int tuning_;
    Score score_;
};

const int kChords[][4] = {{0, 4, 7, -1}, {0, 3, 7, -1},  {0, 12, -1, -1}, {0, 4, 7, 12},
                          {0, 5, 7, -1}, {0, 7, -1, -1}, {0, 3, 7, 10},   {0, 4, 7, 11}};

// One device's notes on a voice from `start` (a row) for `rows` rows; the
// voice is silent before and after. Returns the call after the last.
uint32_t play(Builder& b, Device device, int voice, uint32_t start, uint32_t rows) {
    const uint32_t length = rows * kRow;
    const uint32_t end = start + length;  // the next note's first call
    const int key = static_cast<int>(b.pick(45, 80));
    const uint8_t wave = voice == 0 ? kPulse : voice == 1 ? kSawtooth : kTriangle;
    // A gate on at `start` (a retrigger when the call before left it on),
    // off `gap` calls before `end`.
    const auto gate = [&](uint32_t gap, uint8_t waveform) {
        b.control(start, voice, waveform);
        b.control(start, voice, waveform | 1);
        if (gap > 0) b.control(end - gap, voice, waveform);
    };
    b.envelope(start, voice, 0x09, 0xA0);
    switch (device) {
        case Device::Plain:
        case Device::HardRestart: {
            const uint32_t gap = device == Device::HardRestart ? b.pick(1, 2) : b.pick(0, 1);
            gate(gap, wave);
            if (device == Device::HardRestart) b.envelope(end - gap, voice, 0, 0);
            for (uint32_t c = start; c < end - gap; ++c) b.frequency(c, voice, key * 1000, true);
            b.note(voice, key, start, start);
            break;
        }
        case Device::Vibrato: {
            const double depth = b.pick(10, 90) * 10;  // thousandths of a key
            const uint32_t period = b.pick(4, 16), delay = b.pick(3, 10);
            gate(1, wave);
            for (uint32_t c = start; c < end - 1; ++c) {
                double swing = 0;
                if (c >= start + delay) {  // a triangle: up, down, up
                    const double phase = static_cast<double>((c - start - delay) % period) / period;
                    swing = depth * (phase < 0.25   ? 4 * phase
                                     : phase < 0.75 ? 2 - 4 * phase
                                                    : 4 * phase - 4);
                }
                b.frequency(c, voice, key * 1000 + swing, true);
            }
            b.note(voice, key, start, start);
            break;
        }
        case Device::Arpeggio: {
            const int* chord = kChords[b.pick(0, 7)];
            const int keys = chord[3] >= 0 ? 4 : chord[2] >= 0 ? 3 : 2;
            const uint32_t step = b.pick(1, 2);
            gate(1, wave);
            for (uint32_t c = start; c < end - 1; ++c)
                b.frequency(c, voice,
                            (key + chord[(c - start) / step % static_cast<uint32_t>(keys)]) * 1000,
                            false);
            for (int k = 0; k < keys; ++k) b.note(voice, key + chord[k], start, start);
            break;
        }
        case Device::Drum: {
            // Noise first (or a call of pulse, then noise), then a pitch that
            // falls a few semitones a call, then the gate goes off.
            const bool clickFirst = b.pick(0, 3) == 0;
            const uint32_t noise = b.pick(1, 2), fall = b.pick(2, 8), steps = b.pick(1, 3);
            const uint32_t off = std::min(end - 1, start + (clickFirst ? 1 : 0) + noise + fall);
            b.control(start, voice, kNoise);
            b.control(start, voice, (clickFirst ? kPulse : kNoise) | 1);
            uint32_t c = start;
            if (clickFirst) b.frequency(c++, voice, (key + 12) * 1000, false);
            b.control(c, voice, kNoise | 1);
            for (uint32_t n = 0; n < noise; ++n) b.frequency(c++, voice, 100000, false);
            b.control(c, voice, (voice == 2 ? kTriangle : kPulse) | 1);
            for (int falling = key; c < off; ++c, falling -= static_cast<int>(steps))
                b.frequency(c, voice, std::max(falling, 24) * 1000, false);
            b.control(off, voice, kPulse);
            b.note(voice, -1, start, start);
            break;
        }
        case Device::LongDrum: {
            // Noise, then a pitch that falls 2 to 5 semitones a call, then
            // the gate goes off: the tail's last key rings on in a long
            // release up to the next note.
            const uint32_t noise = b.pick(1, 2), steps = b.pick(2, 5);
            const uint32_t fall = std::min(b.pick(3, 6), length - noise - 1);
            b.envelope(start, voice, 0x00, 0xAB);
            b.control(start, voice, kNoise);
            b.control(start, voice, kNoise | 1);
            uint32_t c = start;
            for (uint32_t n = 0; n < noise; ++n) b.frequency(c++, voice, 100000, false);
            const uint8_t tail = voice == 2 ? kTriangle : kPulse;
            b.control(c, voice, tail | 1);
            int falling = key;
            for (uint32_t k = 0; k < fall; ++k, ++c, falling -= static_cast<int>(steps))
                b.frequency(c, voice, std::max(falling, 24) * 1000, false);
            b.control(c, voice, tail);
            b.note(voice, -1, start, start);
            break;
        }
        case Device::NoiseBass: {
            // A call or two of noise, then a low key held; the gate goes off
            // a call before the next note, a long release.
            const int bass = static_cast<int>(b.pick(33, 50));
            const uint32_t noise = b.pick(1, 2);
            b.envelope(start, voice, 0x00, 0xAB);
            b.control(start, voice, kNoise);
            b.control(start, voice, kNoise | 1);
            uint32_t c = start;
            for (uint32_t n = 0; n < noise; ++n) b.frequency(c++, voice, 100000, false);
            b.control(c, voice, wave | 1);
            for (; c < end - 1; ++c) b.frequency(c, voice, bass * 1000, true);
            b.control(end - 1, voice, wave);
            b.note(voice, bass, start, start + noise);
            break;
        }
        case Device::Legato: {
            // Keys held 6 calls or more, changed without the gate.
            gate(1, wave);
            int now = key;
            for (uint32_t c = start; c < end - 1;) {
                const uint32_t held = std::min(end - 1 - c, b.pick(6, 12));
                if (held < 6 && c > start) {  // too short to hear: the key before goes on
                    for (; c < end - 1; ++c) b.frequency(c, voice, now * 1000, true);
                    break;
                }
                if (c > start) now += static_cast<int>(b.pick(1, 7)) * (b.pick(0, 1) ? 1 : -1);
                b.note(voice, now, c, c);
                for (uint32_t k = 0; k < held; ++k, ++c) b.frequency(c, voice, now * 1000, true);
            }
            break;
        }
        case Device::Slide: {
            // A key held, a glide of 4 to 16 calls, the new key held.
            const int target = key + static_cast<int>(b.pick(1, 12)) * (b.pick(0, 1) ? 1 : -1);
            const uint32_t glide = b.pick(4, 16);
            const uint32_t held = std::max(6u, (length - 1 - glide) / 2);
            gate(1, wave);
            uint32_t c = start;
            for (; c < start + held; ++c) b.frequency(c, voice, key * 1000, true);
            const uint32_t glideStart = c;
            for (uint32_t k = 1; k <= glide; ++k, ++c)
                b.frequency(c, voice, key * 1000 + (target - key) * 1000.0 * k / glide, true);
            for (; c < end - 1; ++c) b.frequency(c, voice, target * 1000, true);
            b.note(voice, key, start, start);
            b.note(voice, target, glideStart, glideStart + glide);
            break;
        }
        case Device::InRelease: {
            // As a player that sounds its notes in the release does: the gate
            // on with the test bit set and no waveform, the gate off two calls
            // later (the attack at rate 0 may wait up to 1.7 calls for the
            // counter to wrap, after the release's longer period), and the
            // waveform on (test bit clear) a call after that, while the
            // envelope releases. The release is a slow one, or (`delayed`) a
            // fast one written with the gate-off while the counter runs at the
            // decay's longer period, so that the level holds until the counter
            // has wrapped.
            const uint32_t lead = 2;
            const bool delayed = b.pick(0, 1) == 0;
            b.envelope(start, voice, delayed ? 0x0A : 0x00, delayed ? 0x7A : 0xF0);
            b.control(start, voice, 0x09);
            b.control(start + lead, voice, 0x08);
            if (delayed) b.envelope(start + lead, voice, 0x0F, 0x00);
            if (!delayed) b.envelope(start + lead, voice, 0x00, static_cast<uint8_t>(b.pick(4, 7)));
            b.control(start + lead + 1, voice, wave);
            // A fast release, heard a call or two; a slow one, to the row's end.
            const uint32_t heard = delayed ? 1 : 2;
            for (uint32_t c = start + lead + 1; c < end; ++c)
                b.frequency(c, voice, key * 1000, c < start + lead + 1 + heard);
            b.control(end - 1, voice, 0x08);
            b.note(voice, key, start + lead + 1, start + lead + 1);
            b.phase(lead + 1);
            break;
        }
        case Device::ReleaseOnly: {
            // Notes of a row or two, the gate open two calls, then a slow
            // release up to the next note's attack, on the same key or
            // another. An attack at rate 0 after a release at a longer
            // period waits up to 1.7 calls for the counter to wrap: the
            // release rings on until then, and a voice that was silent is
            // heard up to two calls late.
            b.envelope(start, voice, 0x00, static_cast<uint8_t>(0xA0 | b.pick(6, 8)));
            uint32_t c = start;
            int now = key;
            while (c + kRow <= end) {
                const uint32_t calls = c + 2 * kRow <= end && b.pick(0, 1) ? 2 * kRow : kRow;
                if (c > start && b.pick(0, 2) > 0)
                    now += static_cast<int>(b.pick(1, 5)) * (b.pick(0, 1) ? 1 : -1);
                b.control(c, voice, wave);
                b.control(c, voice, wave | 1);
                b.control(c + 2, voice, wave);
                for (uint32_t k = 0; k < calls; ++k)
                    b.frequency(c + k, voice, now * 1000, k >= 2 && k < 5);  // heard then
                b.note(voice, now, c, c + 2);
                c += calls;
            }
            b.control(end - 1, voice, wave | 0x08);  // the test bit ends the last one
            break;
        }
        case Device::LoweredRate: {
            // A decay of 977 cycles a step; the gate closed two calls before
            // the end with the release rate 0: the counter, most likely past 9,
            // runs to 32767 first and the level holds for up to 1.7 calls, into
            // the next note's attack. Attacks at rate 0 begun while the counter
            // runs at a longer period are held back as long.
            gate(2, wave);
            b.envelope(start, voice, 0x09, 0xA9);
            b.envelope(end - 2, voice, 0x09, 0xA0);
            for (uint32_t c = start; c < end; ++c) b.frequency(c, voice, key * 1000, c < end - 2);
            b.note(voice, key, start, start + 2);
            break;
        }
        case Device::Accent: {
            // Notes of a row, the sustain level (the level as a call ends
            // after a fast attack and decay) loud or soft.
            for (uint32_t c = start; c + kRow <= end; c += kRow) {
                const uint8_t sustain = static_cast<uint8_t>(b.pick(0, 2) == 0 ? 15 : b.pick(2, 9));
                const int now = key + static_cast<int>(b.pick(0, 7));
                b.envelope(c, voice, 0x00, static_cast<uint8_t>(sustain << 4));
                b.control(c, voice, wave);
                b.control(c, voice, wave | 1);
                b.control(c + kRow - 1, voice, wave);
                for (uint32_t k = 0; k + 1 < kRow; ++k) b.frequency(c + k, voice, now * 1000, true);
                b.note(voice, now, c, c, sustain * 17);
            }
            break;
        }
        case Device::Echo:
        case Device::Mix: break;
    }
    return end;
}

// A line of notes on voice 1, repeated `delay` calls later on voice 2 and
// twice as late on voice 3, each quieter (sustain levels 15, then 2 to 10).
void echo(Builder& b) {
    const uint32_t delay = kRow * b.pick(1, 2);
    const uint8_t sustain[3] = {15, static_cast<uint8_t>(b.pick(6, 10)),
                                static_cast<uint8_t>(b.pick(2, 5))};
    const uint8_t waves[3] = {kPulse, kSawtooth, kTriangle};
    for (uint32_t at = kRow; at + 2 * delay + 2 * kRow < b.calls(); at += kRow * b.pick(1, 2)) {
        const int key = static_cast<int>(b.pick(48, 79));
        const uint32_t gap = b.pick(1, 2);
        for (int voice = 0; voice < 3; ++voice) {
            const uint32_t c = at + static_cast<uint32_t>(voice) * delay;
            b.envelope(c, voice, 0x00, static_cast<uint8_t>(sustain[voice] << 4));
            b.control(c, voice, waves[voice]);
            b.control(c, voice, waves[voice] | 1);
            b.control(c + kRow - gap, voice, waves[voice]);
            for (uint32_t k = 0; k < kRow - gap; ++k) b.frequency(c + k, voice, key * 1000, true);
            b.note(voice, key, c, c, sustain[voice] * 17);
        }
    }
}

}  // namespace

Bytes playerTune(const CallWrites& writes) {
    Bytes data;
    for (uint32_t call = 1; call < writes.size(); ++call) {
        for (const auto& [reg, value] : writes[call]) data.insert(data.end(), {reg, value});
        data.push_back(0xFF);
    }
    Bytes code = hexBytes(kPlayer);
    code.resize(0x100, 0);
    code.insert(code.end(), data.begin(), data.end());
    return psidFile({.play = 0x1010, .name = "Score", .data = code});
}

const char* deviceName(Device device) {
    static const char* const kNames[] = {"plain notes",
                                         "hard restart",
                                         "vibrato",
                                         "arpeggios",
                                         "drum tables",
                                         "legato",
                                         "slides",
                                         "melodies in the release",
                                         "notes separated by their release",
                                         "lowered rates",
                                         "accents",
                                         "echoes",
                                         "drums of long release",
                                         "bass notes with a noise attack",
                                         "a mix"};
    return kNames[static_cast<int>(device)];
}

Score makeScore(Device device, uint32_t seed, uint32_t calls, int tuning) {
    Builder b(calls, tuning, seed);
    if (device == Device::Echo) {
        echo(b);
        return b.finish();
    }
    for (int voice = 0; voice < 3; ++voice) {
        uint32_t at = kRow * b.pick(1, 4);
        while (true) {
            Device d = device;
            if (d == Device::Mix) d = static_cast<Device>(b.pick(0, 6));
            const uint32_t lowest = d == Device::Slide                                ? 6
                                    : d == Device::Legato || d == Device::ReleaseOnly ? 4
                                                                                      : 1;
            const uint32_t rows = b.pick(lowest, lowest + 6);
            if (at + rows * kRow >= calls) break;
            at = play(b, d, voice, at, rows);
            if (b.pick(0, 2) == 0) at += kRow * b.pick(1, 2);  // a rest
        }
    }
    return b.finish();
}

namespace {

Transcribed compareAt(const Score& score, const MidiFile& midi, int64_t lead) {
    Transcribed t{0, 0, 0, score.notes.size(), 0, 0, 0, 0};
    // The transcribed notes: voice, key (-1 for drum hits), onset.
    struct Found {
        int voice, key;
        int64_t onset;  // the call; before call 0 in a lead that holds a note
        int velocity;
        bool matched;
    };
    std::vector<Found> found;
    for (const MidiNote& n : midi.notes) {
        const int64_t onset = int64_t{n.on} - lead;
        if (n.channel < 3) found.push_back({n.channel, n.key, onset, n.velocity, false});
        for (int v = 0; v < 3 && n.channel == 9; ++v) {
            if (n.key == drumKey(v)) found.push_back({v, -1, onset, n.velocity, false});
        }
    }
    t.notes = found.size();
    size_t matched = 0;
    std::vector<std::pair<int, int>> loudness;  // of matched notes: the score's, the velocity
    for (const ScoreNote& expected : score.notes) {
        for (Found& f : found) {
            if (f.matched || f.voice != expected.voice || f.key != expected.key) continue;
            if (f.onset + 1 < int64_t{expected.earliest} || f.onset > int64_t{expected.latest} + 1)
                continue;
            f.matched = true;
            ++matched;
            if (expected.loudness > 0) loudness.push_back({expected.loudness, f.velocity});
            break;
        }
    }
    // Pairs 6 dB or more apart: twice the level or more.
    t.loudPairs = t.loudPairsInOrder = 0;
    for (size_t i = 0; i < loudness.size(); ++i) {
        for (size_t j = 0; j < loudness.size(); ++j) {
            if (loudness[i].first < 2 * loudness[j].first) continue;
            ++t.loudPairs;
            if (loudness[i].second > loudness[j].second) ++t.loudPairsInOrder;
        }
    }
    t.precision =
        found.empty() ? 1 : static_cast<double>(matched) / static_cast<double>(found.size());
    t.recall = score.notes.empty()
                   ? 1
                   : static_cast<double>(matched) / static_cast<double>(score.notes.size());

    // The pitch the MIDI file plays on a voice's channel in each call: its
    // one sounding note's key and the channel's bend.
    for (int voice = 0; voice < 3; ++voice) {
        std::map<uint32_t, uint32_t> bends;  // tick -> value
        for (const MidiEvent& e : midi.events) {
            if (e.kind == 0xE0 && e.channel == voice) bends[e.tick] = e.value;
        }
        for (uint32_t call = 0; call < score.pitch.size(); ++call) {
            const int32_t expected = score.pitch[call][static_cast<size_t>(voice)];
            if (expected == kNoScorePitch) continue;
            ++t.pitchCalls;
            if (int64_t{call} + lead < 0) continue;
            const auto tick = static_cast<uint32_t>(int64_t{call} + lead);
            int sounding = 0, key = 0;
            for (const MidiNote& n : midi.notes) {
                if (n.channel == voice && n.on <= tick && tick < n.off) ++sounding, key = n.key;
            }
            if (sounding != 1) continue;
            auto bend = bends.upper_bound(tick);
            const int64_t value =
                bend == bends.begin() ? 8192 : static_cast<int64_t>(std::prev(bend)->second);
            const int64_t played = key * 1000 + (value - 8192) * kBendRange * 1000 / 8192;
            if (std::abs(played - expected) <= 50) ++t.pitchHits;
        }
    }
    return t;
}

}  // namespace

Transcribed compareMidi(const Score& score, const std::string& midiBytes) {
    const MidiFile midi = readMidi(midiBytes);
    // Call c stands at tick c + lead: the score's rows begin on the file's
    // grid, and its bars on multiples of the bar (of 16 rows at most; bars
    // of nothing before the first note left out), so the lead is the rows'
    // phase and some whole rows, maybe fewer than none: those that match best.
    Transcribed best{};
    double bestScore = -1;
    for (int64_t rows = -64; rows < 16; ++rows) {
        const Transcribed t =
            compareAt(score, midi, int64_t{(kRow - score.phase) % kRow} + rows * int64_t{kRow});
        if (t.precision + t.recall > bestScore) {
            bestScore = t.precision + t.recall;
            best = t;
        }
    }
    return best;
}
