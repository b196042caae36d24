// The notes a voice plays, as a musician writes them, from the chip's state
// after each routine call.
//
// After a call a voice sounds when its gate is set, its test bit clear, a
// waveform chosen, its frequency not 0 and its key 0 to 127. The gate sets a
// note's life: a sounding span begins in a call after which the voice sounds
// and did not after the call before, or had its gate written off and on (or
// its test bit set and released) within the call, and lasts up to the call
// before it falls silent. Within a span, what the frequency does decides how
// it is written:
//  - a span whose first or second call has the noise waveform is one drum
//    hit, whatever follows (a drum table: noise, then a falling pitch);
//  - arpeggios are chords (chords.h): one note per key, lasting the stretch,
//    and the few calls of the span before or after a chord belong to it;
//  - the rest holds pitched notes (pitched.h), which begin only where the
//    pitch moves to another key and stays there.
// Keys are taken after the tune's tuning: the offset from A = 440 Hz that
// its held notes share, found over all voices. Each pitched note keeps, per
// call, how far the register's pitch is from its key (its bend): the tuning,
// vibrato and slides.
#pragma once

#include <cstdint>
#include <vector>

#include "study/chip.h"

enum class NoteKind : uint8_t { Pitched, Chord, Drum };

struct Note {
    uint8_t voice;  // 0 to 8
    NoteKind kind;
    uint8_t key;           // pitched and chord notes
    uint32_t first, last;  // routine calls, 0 being the start routine
    uint32_t bends;        // pitched notes: where noteBends() holds its first call's
    uint32_t end;          // the call up to which the files hold it (notesHoldToRows)
};

// A voice's registers after a routine call, as the notes need them.
struct VoiceFrame {
    uint16_t frequency;
    uint8_t control;
    bool retriggered;  // gate off and on, or test bit on and off, within the call
};

// Forgets everything; pitches are taken at `clock`; `voices`: of the chips.
void notesReset(uint32_t clock, int voices);

// The voice's registers after routine call `call`; calls come in order. A
// voice whose registers were not written in a call need not be told: it
// stays as it was.
void notesAfterCall(uint32_t call, int voice, const VoiceFrame& frame);

// The notes of the calls up to `lastCall` (the run is over there, or the notes
// so far are wanted; calls may follow).
void notesFinish(uint32_t lastCall);

// A note is held in the files to the end of its last row (of `row` calls,
// counted from its first call), but not into its voice's next note: the
// gate-off of a hard restart, or a short release, then does not cut a row
// into pieces of no musical length. Without a row length (0), to its last call.
void notesHoldToRows(uint32_t row);

// The calls on which the voices' sounding spans begin (the gate's onsets,
// not a legato or slide's), in order, each once.
std::vector<uint32_t> notesOnsets();

// Every note, by first call, then voice, then key.
const std::vector<Note>& notes();

// Per call of each pitched note, from its first to its last: the register's
// pitch less the note's key, in thousandths of a key.
const std::vector<int32_t>& noteBends();

// The waveform (kTriangle, kSawtooth or kPulse) the voice's pitched notes
// and chords use most, counted by the call; kPulse when they use none.
uint8_t notesWaveform(int voice);

// The tune's tuning: what its held notes are off A = 440 Hz, in thousandths
// of a key (-500 to 500).
int32_t notesTuning();
