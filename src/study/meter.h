// What a score needs besides the notes: the meter and where its bars begin,
// and the key the notes are heard in.
//
// The meter: a quarter note is four rows (beat.h), a bar three quarter notes
// (12 rows) or four (16 rows). The notes repeat at the bar's length and at
// twice it: the rows on which the same keys begin as 12 (and 24) rows later
// are compared with those that begin as 16 (and 32) rows later, and three
// quarter notes a bar are taken only where they match more. A bar begins on
// the row of the bar where the notes that begin weigh most, a note weighing
// its length in calls, when that row weighs half as much again as any other
// (otherwise on the first row the rows' phase gives).
//
// The key: each pitched note and chord key counts its length in calls for
// its pitch class; the key whose profile (major or minor, the probe-tone
// ratings of listeners) correlates best with those twelve counts is the key.
#pragma once

#include <cstdint>
#include <vector>

#include "study/notes.h"

struct Meter {
    int beats = 0;          // quarter notes a bar, 3 or 4; 0: no row length
    uint32_t barCalls = 0;  // calls a bar
    uint32_t phase = 0;     // the calls on which bars begin, modulo barCalls
};

// `row`, `rowPhase`: the rows' calls and phase (beat.h), row 0 when none.
Meter meterOf(const std::vector<Note>& notes, uint32_t row, uint32_t rowPhase);

struct KeySignature {
    bool found = false;  // no pitched note: none
    int tonic = 0;       // pitch class, 0 = C
    bool minor = false;
    int sharps = 0;  // -7 to 7: flats negative
};

KeySignature keyOf(const std::vector<Note>& notes);
