#include "support/midi_reader.h"

#include <map>
#include <utility>

namespace {

struct Reader {
    const std::string& bytes;
    size_t at = 0;
    bool failed = false;

    uint32_t byte() {
        if (at >= bytes.size()) {
            failed = true;
            return 0;
        }
        return static_cast<uint8_t>(bytes[at++]);
    }
    uint32_t number(int size) {
        uint32_t value = 0;
        while (size-- > 0) value = value << 8 | byte();
        return value;
    }
    uint32_t variable() {
        uint32_t value = 0;
        for (int k = 0; k < 4; ++k) {
            const uint32_t b = byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        failed = true;
        return value;
    }
    std::string text(size_t size) {
        if (at + size > bytes.size()) {
            failed = true;
            return {};
        }
        at += size;
        return bytes.substr(at - size, size);
    }
};

}  // namespace

MidiFile readMidi(const std::string& bytes) {
    MidiFile midi;
    Reader r{bytes};
    if (r.text(4) != "MThd" || r.number(4) != 6) return midi;
    midi.format = static_cast<int>(r.number(2));
    const int declared = static_cast<int>(r.number(2));
    midi.division = static_cast<int>(r.number(2));
    bool allEnded = true;
    for (int track = 0; track < declared && !r.failed; ++track) {
        if (r.text(4) != "MTrk") return midi;
        const uint32_t length = r.number(4);
        const size_t end = r.at + length;
        std::map<std::pair<int, int>, std::pair<uint32_t, int>> sounding;  // (channel, key)
        uint32_t tick = 0;
        uint32_t status = 0;
        bool ended = false;
        midi.trackNames.emplace_back();
        while (r.at < end && !r.failed && !ended) {
            tick += r.variable();
            uint32_t first = r.byte();
            if (first & 0x80) {
                status = first;
                if (status < 0xF0) first = r.byte();
            }  // else: running status, `first` is the first data byte
            if (status == 0xFF) {
                const uint32_t type = r.byte();
                const std::string data = r.text(r.variable());
                if (type == 0x03) midi.trackNames.back() = data;
                if (type == 0x51 && data.size() == 3) {
                    const auto tempo = static_cast<uint32_t>(static_cast<uint8_t>(data[0]) << 16 |
                                                             static_cast<uint8_t>(data[1]) << 8 |
                                                             static_cast<uint8_t>(data[2]));
                    if (midi.tempo == 0) midi.tempo = tempo;
                    midi.events.push_back({track, tick, -1, 0x51, tempo, 0, ""});
                }
                if (type == 0x06) midi.events.push_back({track, tick, -1, 0x06, 0, 0, data});
                if (type == 0x01 || type == 0x02 || type == 0x58 || type == 0x59)
                    midi.texts.push_back({track, tick, -1, static_cast<int>(type), 0, 0, data});
                ended = type == 0x2F;
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                r.text(r.variable());
                continue;
            }
            const int channel = static_cast<int>(status & 0x0F);
            const uint32_t kind = status & 0xF0;
            const uint32_t second = kind == 0xC0 || kind == 0xD0 ? 0 : r.byte();
            if (kind == 0xB0 || kind == 0xC0 || kind == 0xE0) {
                const uint32_t value = kind == 0xB0   ? second
                                       : kind == 0xC0 ? first
                                                      : first | second << 7;
                midi.events.push_back({track, tick, channel, static_cast<int>(kind), value,
                                       kind == 0xB0 ? static_cast<int>(first) : 0, ""});
                continue;
            }
            const auto key = std::make_pair(channel, static_cast<int>(first));
            if (kind == 0x90 && second > 0) {
                sounding[key] = {tick, static_cast<int>(second)};
            } else if (kind == 0x80 || kind == 0x90) {
                auto found = sounding.find(key);
                if (found == sounding.end()) continue;
                midi.notes.push_back({track, channel, static_cast<int>(first), found->second.second,
                                      found->second.first, tick});
                sounding.erase(found);
            }
        }
        allEnded = allEnded && ended && r.at == end;
        r.at = end;
        ++midi.tracks;
    }
    midi.valid = !r.failed && allEnded && r.at == bytes.size();
    return midi;
}

void PrintTo(const MidiEvent& e, std::ostream* out) {
    *out << "{track " << e.track << ", tick " << e.tick << ", channel " << e.channel << ", kind 0x"
         << std::hex << e.kind << std::dec << ", value " << e.value << ", number " << e.number
         << ", \"" << e.text << "\"}";
}
