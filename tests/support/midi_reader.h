// A reader of Standard MIDI Files, to check what the .mid writer made: the
// header, the tempo, and the notes with their channels and ticks.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct MidiNote {
    int track, channel, key, velocity;
    uint32_t on, off;  // ticks
    bool operator==(const MidiNote&) const = default;
};

// A tempo, a marker, a program change, a controller or a pitch bend, at its tick.
struct MidiEvent {
    int track;
    uint32_t tick;
    int channel;       // -1 for meta events
    int kind;          // 0x51 tempo, 0x06 marker, 0xB0 controller, 0xC0 program, 0xE0 bend
    uint32_t value;    // the tempo, the controller's value, the program or the bend (0-16383)
    int number;        // the controller's number
    std::string text;  // a marker's text
    bool operator==(const MidiEvent&) const = default;
};

struct MidiFile {
    bool valid = false;  // every chunk read whole and every track ended
    int format = -1, tracks = 0, division = 0;
    uint32_t tempo = 0;  // the first tempo, microseconds a quarter note
    std::vector<std::string> trackNames;
    std::vector<MidiNote> notes;    // in the order they end
    std::vector<MidiEvent> events;  // in the order of the tracks, then of their ticks
    // Texts (0x01), copyright notices (0x02), time (0x58) and key (0x59)
    // signatures, their bytes as the text, in the same order.
    std::vector<MidiEvent> texts;
};

MidiFile readMidi(const std::string& bytes);

void PrintTo(const MidiEvent& event, std::ostream* out);
