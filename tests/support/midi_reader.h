// A reader of Standard MIDI Files, to check what the .mid writer made: the
// header, the tempo, and the notes with their channels and ticks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MidiNote {
    int track, channel, key, velocity;
    uint32_t on, off;  // ticks
    bool operator==(const MidiNote&) const = default;
};

struct MidiFile {
    bool valid = false;  // every chunk read whole and every track ended
    int format = -1, tracks = 0, division = 0;
    uint32_t tempo = 0;  // microseconds a quarter note
    std::vector<std::string> trackNames;
    std::vector<MidiNote> notes;  // in the order they end
};

MidiFile readMidi(const std::string& bytes);
