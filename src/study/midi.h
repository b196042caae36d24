// The .mid file: a Standard MIDI File of format 1, made to be read as music.
//  - A first track: the tune's name, the tempo, a marker "loop" where the
//    song starts to repeat and a marker "end" after its last call, when its
//    length is known. The first track that has notes (a voice's or
//    the drums') holds the same tempo events at the same ticks: a notation
//    program that drops a track without notes still reads the tempo, and any
//    other reads the same tempo map twice.
//  - A track per voice, "Voice 1" to "Voice 9", on the voice's channel (1 to
//    9): an instrument from the waveform the voice plays most (General MIDI
//    Lead 1 for pulse, Lead 2 for sawtooth, Ocarina for triangle), a pitch
//    bend range of 24 semitones (RPN 0), its pitched notes, each with the
//    bends that put the register's pitch in every call, and its chords.
//  - A track "Drums" on channel 10 with every voice's drum hits, a drum key
//    per voice.
// One tick per routine call. A quarter note is the tune's beat, 4 rows, when
// a row length stands out (beat.h), else the first call rate rounded; the
// tempo makes each tick last its call's period, with a tempo event wherever
// the call rate changes. The time axis starts where a row starts: call c is
// at tick c + lead, the lead (0 to a row less a call) putting the calls on
// which the rows begin (their phase, beat.h) on ticks that are multiples of
// the row; the lead's ticks last the first call's period, and the first
// tempo stands at tick 0. A notation program that finds the notes off its
// grid takes them for a human performance and makes up a beat of its own
// (MuseScore 3 does); without a row length there is no lead.
//
// Velocity from a note's loudness L (0 to 255, the envelope's level times
// the volume / 15): round(127 * sqrt(L / 255)), at least 1. General MIDI
// hears a velocity v at 40 log10(v / 127) dB, a square law, so the velocity
// puts the level's decibels where a synthesizer plays them: full scale 127,
// half the level (-6 dB) 90, a quarter 64; monotonic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song/call_rate.h"
#include "study/notes.h"
#include "study/study_info.h"

inline constexpr int kBendRange = 24;  // semitones each way

// The whole file as bytes, made when the run is over; `row`: the calls of a
// row, 0 when no row length stands out; `phase`: the calls on which the rows
// begin, modulo `row`; `tempo`: the call rate's tempo periods (measured rates
// come smoothed, so that uneven interrupts make no tempo each); `waveforms`:
// per voice, the waveform its notes use most (its instrument).
std::string midiFile(const StudyInfo& info, const std::vector<Note>& notes,
                     const std::vector<int32_t>& bends, uint32_t row, uint32_t phase,
                     const std::vector<RatePeriod>& tempo, const uint8_t* waveforms);

// The velocity of a loudness (0 to 255): 1 to 127.
int velocityOf(uint8_t loudness);

// The drum key a voice's drum hits play.
int drumKey(int voice);

// Ticks a quarter note: four rows; without a row, four of the distance
// between onsets that comes most often (`gap`, from onsetGap), so that the
// notes of a tune whose rows are not found are not written as 32nds; without
// either, the first call rate rounded (a quarter note a second).
uint32_t midiDivision(uint32_t row, uint32_t clock, uint32_t firstPeriod, uint32_t gap = 0);

// The distance in calls between onsets that follow each other that comes
// most often, from 2 to kMaxOnsetGap calls, among kMinOnsetGaps such
// distances at least; else 0.
inline constexpr uint32_t kMaxOnsetGap = 64;
inline constexpr uint32_t kMinOnsetGaps = 16;
uint32_t onsetGap(const std::vector<Note>& notes);

// A bend in thousandths of a key as a pitch-bend value (8192: none).
uint32_t bendValue(int32_t milli);
