// Pitch of a voice: its frequency register in hertz, the nearest MIDI key
// and the cents from it, and note names.
#pragma once

#include <cstdint>

#include "song/call_rate.h"  // the clocks

struct Pitch {
    bool named;     // the frequency is not 0 and the key is 0 to 127
    int key;        // MIDI key: 60 is C-4, 69 is A-4 (440 Hz)
    int cents;      // -50 to +50 from the key
    int32_t milli;  // the exact pitch in thousandths of a key (60000 is C-4), rounded
};

// Hz = frequency * clock / 16777216, key = round(69 + 12 log2(Hz / 440)).
Pitch pitchOf(uint16_t frequency, uint32_t clock);

// pitchOf keeping the latest results, since a voice keeps its frequency for
// many calls.
class PitchMemo {
public:
    Pitch of(uint16_t frequency, uint32_t clock);

private:
    struct Remembered {
        uint16_t frequency;
        uint32_t clock;  // 0: nothing remembered here
        Pitch pitch;
    };
    Remembered remembered_[64] = {};
};

// "C-4", "C#4", "C--1" for key 0: the note, "-" or "#", the octave
// (key / 12 - 1). Writes at most 4 characters; returns the end.
char* putNoteName(char* at, int key);

// log2 from basic arithmetic only, so that it gives the same bits on every
// system: output files must not depend on a C library's rounding.
double portableLog2(double x);
