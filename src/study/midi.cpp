#include "study/midi.h"

#include <algorithm>
#include <cstdint>

#include "song/call_rate.h"
#include "study/chip.h"

namespace {

constexpr uint8_t kVelocity = 100;

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

struct Event {
    uint32_t tick;
    bool on;
    uint8_t channel, key;
};

// A voice's track: its name, then its notes; at one tick the notes that end
// come before the notes that begin.
std::string voiceTrack(int voice, const std::vector<Note>& notes) {
    std::vector<Event> events;
    for (const Note& n : notes) {
        if (n.voice != voice) continue;
        const uint8_t channel = n.percussion ? 9 : static_cast<uint8_t>(voice);
        const uint8_t key = n.percussion ? static_cast<uint8_t>(drumKey(voice)) : n.key;
        events.push_back({n.first, true, channel, key});
        events.push_back({n.last + 1, false, channel, key});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : !a.on && b.on;
    });
    std::string track;
    putMeta(track, 0x03, "Voice " + std::to_string(voice + 1));
    uint32_t now = 0;
    for (const Event& e : events) {
        putVariable(track, e.tick - now);
        now = e.tick;
        track += static_cast<char>((e.on ? 0x90 : 0x80) | e.channel);
        track += static_cast<char>(e.key);
        track += static_cast<char>(e.on ? kVelocity : 0);
    }
    putMeta(track, 0x2F, "");
    return track;
}

}  // namespace

int drumKey(int voice) {
    // Bass drum, snare, closed hi-hat; then other kit pieces per chip.
    static const int kKeys[kMaxVoices] = {36, 38, 42, 35, 40, 46, 41, 45, 49};
    return kKeys[voice];
}

std::string midiFile(const StudyInfo& info, const std::vector<Note>& notes) {
    const int voices = info.chips * kVoicesPerChip;
    const std::vector<RatePeriod>& periods = callRatePeriods();
    // Ticks a quarter note: the first rate, rounded, so that a quarter note
    // lasts about a second.
    const uint64_t division = std::clamp<uint64_t>(
        (uint64_t{info.clock} * 2 / periods.front().cycles + 1) / 2, 1, 0x7FFF);
    std::string header;
    put16(header, 1);  // format 1: tracks played together
    put16(header, static_cast<unsigned>(voices + 1));
    put16(header, static_cast<unsigned>(division));

    // The first track: the name, a tempo wherever the call rate changes, so
    // that a tick lasts its call's period, and the marker where the song
    // starts to repeat.
    std::string first;
    putMeta(first, 0x03, info.name);
    uint32_t now = 0;
    for (const RatePeriod& p : periods) {
        if (p.firstCall > info.calls) break;
        // Microseconds a quarter note: division times the period, rounded.
        const uint64_t tempo =
            std::clamp<uint64_t>((division * p.cycles * 2000000 / info.clock + 1) / 2, 1, 0xFFFFFF);
        putMeta(first, 0x51,
                std::string{static_cast<char>(tempo >> 16), static_cast<char>(tempo >> 8),
                            static_cast<char>(tempo)},
                p.firstCall - now);
        now = p.firstCall;
    }
    if (info.loopCall > 0) {
        putMeta(first, 0x06, "loop", info.loopCall - now);
        now = info.loopCall;
    }
    putMeta(first, 0x2F, "");

    std::string file;
    putChunk(file, "MThd", header);
    putChunk(file, "MTrk", first);
    for (int v = 0; v < voices; ++v) putChunk(file, "MTrk", voiceTrack(v, notes));
    return file;
}
