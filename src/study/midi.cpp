#include "study/midi.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "song/call_rate.h"
#include "study/chip.h"
#include "study/meter.h"

namespace {

void put16(std::string& out, unsigned value) {
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

void put32(std::string& out, uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

// A variable-length quantity: seven bits a byte, high bit set on all but
// the last.
void putVariable(std::string& out, uint32_t value) {
    char bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out += static_cast<char>(bytes[--count] | 0x80);
    out += bytes[0];
}

void putMeta(std::string& track, uint8_t type, const std::string& data, uint32_t delta = 0) {
    putVariable(track, delta);
    track += static_cast<char>(0xFF);
    track += static_cast<char>(type);
    putVariable(track, static_cast<uint32_t>(data.size()));
    track += data;
}

void putChunk(std::string& out, const char* type, const std::string& data) {
    out += type;
    put32(out, static_cast<uint32_t>(data.size()));
    out += data;
}

// An event of a track at its tick; at one tick, tempos come first, then
// notes that end, then controllers and bends, then notes that begin.
struct Event {
    uint32_t tick;
    int order;  // -1: tempo, 0: note off, 1: program, controller or bend, 2: note on
    uint8_t bytes[6];
    int size;
};

Event channelEvent(uint32_t tick, int order, unsigned status, unsigned first, int second = -1) {
    Event e{tick, order, {static_cast<uint8_t>(status), static_cast<uint8_t>(first)}, 2};
    if (second >= 0) {
        e.bytes[2] = static_cast<uint8_t>(second);
        e.size = 3;
    }
    return e;
}

// A tempo meta event: microseconds a quarter note.
Event tempoEvent(uint32_t tick, uint32_t tempo) {
    return {tick,
            -1,
            {0xFF, 0x51, 3, static_cast<uint8_t>(tempo >> 16), static_cast<uint8_t>(tempo >> 8),
             static_cast<uint8_t>(tempo)},
            6};
}

// Where the calls stand: call c at tick c + lead (the calls before tick 0,
// when the lead is negative, hold no note and stand at 0).
struct Ticks {
    int64_t lead;
    uint32_t of(uint32_t call) const {
        return static_cast<uint32_t>(std::max<int64_t>(0, int64_t{call} + lead));
    }
};

// A note's on and off.
void noteEvents(std::vector<Event>& events, uint8_t channel, int key, const Note& n,
                const Ticks& ticks) {
    events.push_back(channelEvent(ticks.of(n.first), 2, 0x90u | channel, static_cast<unsigned>(key),
                                  velocityOf(n.loudness)));
    events.push_back(
        channelEvent(ticks.of(n.end + 1), 0, 0x80u | channel, static_cast<unsigned>(key), 0));
}

std::string track(const std::string& name, std::vector<Event>& events) {
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::string out;
    putMeta(out, 0x03, name);
    uint32_t now = 0;
    for (const Event& e : events) {
        putVariable(out, e.tick - now);
        now = e.tick;
        out.append(reinterpret_cast<const char*>(e.bytes), static_cast<size_t>(e.size));
    }
    putMeta(out, 0x2F, "");
    return out;
}

// General MIDI programs (from 0): Ocarina, Lead 1 (square), Lead 2 (sawtooth).
unsigned programOf(uint8_t waveform) {
    return waveform == kTriangle ? 79 : waveform == kSawtooth ? 81 : 80;
}

// A voice's track: the instrument, the bend range, its pitched notes with
// their bends and its chords; `events` may hold tempos already.
std::string voiceTrack(int voice, uint8_t waveform, const std::vector<Note>& notes,
                       const std::vector<int32_t>& bends, const Ticks& ticks,
                       std::vector<Event> events) {
    const auto channel = static_cast<uint8_t>(voice);
    events.push_back(channelEvent(0, 1, 0xC0u | channel, programOf(waveform)));
    // RPN 0, the bend range, then no RPN selected.
    for (const auto& [controller, value] :
         {std::pair{101, 0}, {100, 0}, {6, kBendRange}, {38, 0}, {101, 127}, {100, 127}})
        events.push_back(
            channelEvent(0, 1, 0xB0u | channel, static_cast<unsigned>(controller), value));
    uint32_t bend = 8192;
    const auto bendTo = [&](uint32_t tick, uint32_t value) {
        if (value == bend) return;
        bend = value;
        events.push_back(
            channelEvent(tick, 1, 0xE0u | channel, value & 0x7F, static_cast<int>(value >> 7)));
    };
    for (const Note& n : notes) {
        if (n.voice != voice || n.kind == NoteKind::Drum) continue;
        if (n.kind == NoteKind::Chord) {
            bendTo(ticks.of(n.first), 8192);
        } else {
            for (uint32_t c = n.first; c <= n.last; ++c)
                bendTo(ticks.of(c), bendValue(bends[n.bends + c - n.first]));
        }
        noteEvents(events, channel, n.key, n, ticks);
    }
    return track("Voice " + std::to_string(voice + 1), events);
}

std::string drumTrack(const std::vector<Note>& notes, const Ticks& ticks,
                      std::vector<Event> events) {
    for (const Note& n : notes) {
        if (n.kind == NoteKind::Drum) noteEvents(events, 9, drumKey(n.voice), n, ticks);
    }
    return track("Drums", events);
}

// round(127 sqrt(L / 255)) in integers, at least 1: the largest v with
// (v - 1/2)^2 <= 127^2 L / 255, that is (2v - 1)^2 * 255 <= 4 * 127^2 * L.
struct Velocities {
    uint8_t of[256];
    constexpr Velocities() : of{} {
        for (uint32_t loudness = 0; loudness < 256; ++loudness) {
            const uint32_t bound = 4u * 127 * 127 * loudness;
            uint32_t v = 1;
            while (v < 127 && (2 * v + 1) * (2 * v + 1) * 255 <= bound) ++v;
            of[loudness] = static_cast<uint8_t>(v);
        }
    }
};

constexpr Velocities kVelocities;

}  // namespace

int velocityOf(uint8_t loudness) {
    return kVelocities.of[loudness];
}

int drumKey(int voice) {
    // Bass drum, snare, closed hi-hat; then other kit pieces per chip.
    static const int kKeys[kMaxVoices] = {36, 38, 42, 35, 40, 46, 41, 45, 49};
    return kKeys[voice];
}

uint32_t bendValue(int32_t milli) {
    const int64_t steps = int64_t{milli} * 8192;  // per kBendRange * 1000
    const int64_t range = int64_t{kBendRange} * 1000;
    const int64_t rounded =
        steps >= 0 ? (steps + range / 2) / range : -((-steps + range / 2) / range);
    return static_cast<uint32_t>(std::clamp<int64_t>(8192 + rounded, 0, 16383));
}

uint32_t midiDivision(uint32_t row, uint32_t clock, uint32_t firstPeriod, uint32_t gap) {
    if (row > 0) return 4 * row;
    if (gap > 0) return 4 * gap;
    return static_cast<uint32_t>(
        std::clamp<uint64_t>((uint64_t{clock} * 2 / firstPeriod + 1) / 2, 1, 0x7FFF));
}

uint32_t onsetGap(const std::vector<Note>& notes) {
    std::vector<uint32_t> onsets;
    onsets.reserve(notes.size());
    for (const Note& n : notes) onsets.push_back(n.first);
    std::sort(onsets.begin(), onsets.end());
    onsets.erase(std::unique(onsets.begin(), onsets.end()), onsets.end());
    std::array<uint32_t, kMaxOnsetGap + 1> counts{};
    uint32_t counted = 0;
    for (size_t i = 1; i < onsets.size(); ++i) {
        const uint32_t gap = onsets[i] - onsets[i - 1];
        if (gap < 2 || gap > kMaxOnsetGap) continue;
        ++counts[gap];
        ++counted;
    }
    if (counted < kMinOnsetGaps) return 0;
    uint32_t best = 0;
    for (uint32_t gap = 2; gap <= kMaxOnsetGap; ++gap)
        if (counts[gap] > counts[best]) best = gap;
    return best;
}

std::string midiFile(const StudyInfo& info, const std::vector<Note>& notes,
                     const std::vector<int32_t>& bends, uint32_t row, uint32_t phase,
                     const std::vector<RatePeriod>& periods, const uint8_t* waveforms) {
    const int voices = info.chips * kVoicesPerChip;
    const uint64_t division =
        midiDivision(row, info.clock, periods.front().cycles, row == 0 ? onsetGap(notes) : 0);
    // Call c is at tick c + lead: the bars (and so the rows) begin on
    // multiples of the bar.
    const Meter meter = meterOf(notes, row, phase);
    int64_t lead = row == 0 ? 0 : (meter.barCalls - meter.phase) % meter.barCalls;
    // Bars of nothing before the first note are left out.
    if (row != 0 && !notes.empty()) {
        uint32_t firstNote = notes.front().first;
        for (const Note& n : notes) firstNote = std::min(firstNote, n.first);
        while (firstNote + lead >= meter.barCalls) lead -= meter.barCalls;
    }
    const Ticks ticks{lead};
    std::string header;
    put16(header, 1);  // format 1: tracks played together
    put16(header, static_cast<unsigned>(voices + 2));
    put16(header, static_cast<unsigned>(division));

    // The first track: the name, a tempo wherever the call rate changes, so
    // that a tick lasts its call's period (the first from tick 0, the lead's
    // ticks included), and the marker where the song starts to repeat.
    struct Meta {
        uint32_t tick;
        uint8_t type;
        std::string data;
    };
    std::vector<Meta> metas;
    // The header's texts: the copyright notice and the author (the name is
    // the track's), then the meter and the key.
    if (!info.copyright.empty()) metas.push_back({0, 0x02, info.copyright});
    if (!info.author.empty()) metas.push_back({0, 0x01, info.author});
    if (meter.beats > 0) {
        // Quarter notes, a metronome click a quarter note (24 MIDI clocks),
        // eight 32nd notes a quarter note.
        metas.push_back({0, 0x58, std::string{static_cast<char>(meter.beats), 2, 24, 8}});
    }
    const KeySignature key = keyOf(notes);
    if (key.found)
        metas.push_back(
            {0, 0x59, std::string{static_cast<char>(key.sharps), static_cast<char>(key.minor)}});
    std::vector<Event> tempos;  // the same, for the first track with notes
    const auto addTempo = [&](uint32_t tick, uint64_t cycles) {
        // Microseconds a quarter note: division times the period, rounded.
        const auto tempo = static_cast<uint32_t>(
            std::clamp<uint64_t>((division * cycles * 2000000 / info.clock + 1) / 2, 1, 0xFFFFFF));
        metas.push_back({tick, 0x51,
                         std::string{static_cast<char>(tempo >> 16), static_cast<char>(tempo >> 8),
                                     static_cast<char>(tempo)}});
        tempos.push_back(tempoEvent(tick, tempo));
    };
    if (info.measuredRate) {
        // Interrupts that come unevenly make no tempo: a bar's calls last its
        // mean period, and the tempo changes at most once a bar, where the
        // mean moves by more than 1 %. Without a meter, a bar is 4 quarter
        // notes.
        const auto barCalls =
            static_cast<uint32_t>(meter.beats > 0 ? meter.barCalls : 4 * division);
        const auto timeOf = [&](uint32_t call) {
            const RatePeriod* at = &periods.front();
            for (const RatePeriod& p : periods)
                if (p.firstCall <= call) at = &p;
            return at->startCycles + uint64_t{call - at->firstCall} * at->cycles;
        };
        uint64_t current = periods.front().cycles;
        addTempo(0, current);
        for (uint32_t tick = barCalls; tick < ticks.of(info.calls + 1); tick += barCalls) {
            // The bar's first call.
            const auto from = static_cast<uint32_t>(std::max<int64_t>(0, tick - lead));
            const uint32_t to = std::min(from + barCalls, info.calls + 1);
            if (to <= from + 1) break;
            const uint64_t mean = (timeOf(to) - timeOf(from)) / (to - from);
            const uint64_t apart = mean > current ? mean - current : current - mean;
            if (apart * 100 <= current) continue;
            current = mean;
            addTempo(tick, current);
        }
    } else {
        for (const RatePeriod& p : periods) {
            if (p.firstCall > info.calls) break;
            addTempo(&p == &periods.front() ? 0 : ticks.of(p.firstCall), p.cycles);
        }
    }
    if (info.loopCall > 0) metas.push_back({ticks.of(info.loopCall), 0x06, "loop"});
    // The song's end: after its last call.
    if (info.endCall > 0) metas.push_back({ticks.of(info.endCall + 1), 0x06, "end"});
    std::stable_sort(metas.begin(), metas.end(),
                     [](const Meta& a, const Meta& b) { return a.tick < b.tick; });
    std::string first;
    putMeta(first, 0x03, info.name);
    uint32_t now = 0;
    for (const Meta& m : metas) {
        putMeta(first, m.type, m.data, m.tick - now);
        now = m.tick;
    }
    putMeta(first, 0x2F, "");

    std::string file;
    putChunk(file, "MThd", header);
    putChunk(file, "MTrk", first);
    // The first track with notes: the first voice with a pitched note or a
    // chord, else the drums when there is a drum hit.
    int tempoTrack = voices + 1;
    for (const Note& n : notes) {
        if (n.kind == NoteKind::Drum) {
            tempoTrack = std::min(tempoTrack, voices);
        } else {
            tempoTrack = std::min(tempoTrack, int{n.voice});
        }
    }
    // The key signature stands in each voice's track too: notation programs
    // take a staff's key from the track of its notes, not from the first.
    for (int v = 0; v < voices; ++v) {
        std::vector<Event> start = v == tempoTrack ? tempos : std::vector<Event>{};
        if (key.found)
            start.push_back(
                {0,
                 -1,
                 {0xFF, 0x59, 2, static_cast<uint8_t>(key.sharps), static_cast<uint8_t>(key.minor)},
                 5});
        putChunk(file, "MTrk", voiceTrack(v, waveforms[v], notes, bends, ticks, std::move(start)));
    }
    putChunk(file, "MTrk",
             drumTrack(notes, ticks, tempoTrack == voices ? tempos : std::vector<Event>{}));
    return file;
}
