// Tunes with a known score, to measure the transcription by: a small player
// in a PSID writes, call by call, the registers that a score's devices call
// for (plain notes with and without a hard restart, vibrato, arpeggios, drum
// tables, legato, slides; melodies played in the envelope's release, notes
// separated only by their release, rates lowered below the rate counter,
// accents and echoes; and mixes of them), and the score says which notes a
// musician hears, how loud, and what pitch each call holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

enum class Device {
    Plain,
    HardRestart,
    Vibrato,
    Arpeggio,
    Drum,
    Legato,
    Slide,
    InRelease,    // the waveform switched on while the envelope releases
    ReleaseOnly,  // notes that ring on after the gate, the next begun by its attack
    LoweredRate,  // rates lowered below the rate counter: steps held back
    Accent,       // some notes louder than the others
    Echo,         // a line repeated quieter on the other voices
    LongDrum,     // a drum whose fast-falling tail rings on in a long release
    NoiseBass,    // a bass note with a noise attack, its pitch then held
    Mix           // the first seven mixed
};

struct ScoreNote {
    int voice;                  // 0 to 2
    int key;                    // -1 for a drum hit
    uint32_t earliest, latest;  // the calls the onset may be on (a slide's: its glide)
    int loudness = 0;           // level times volume / 15 as heard; 0: not judged
};

// The writes of each play call: (register 0-24, value) pairs.
using CallWrites = std::vector<std::vector<std::pair<uint8_t, uint8_t>>>;

inline constexpr int32_t kNoScorePitch = INT32_MIN;

struct Score {
    std::vector<ScoreNote> notes;
    // Per call (0 being the start routine) and voice: the register's pitch
    // in thousandths of a key while one pitched note sounds, else kNoScorePitch.
    std::vector<std::vector<int32_t>> pitch;
    Bytes tune;         // the PSID file
    CallWrites writes;  // per call (0 being the start routine, which writes the volume)
    // The calls, modulo the row of 6, on which the notes are heard to begin:
    // the .mid puts them on its beat grid, call c at tick c + (6 - phase) % 6.
    uint32_t phase = 0;
};

// The PSID of the small player that makes call k write writes[k] (k from 1),
// in order, a few cycles apart, after a start routine that sets the volume
// to 15.
Bytes playerTune(const CallWrites& writes);

// A score of `calls` play calls with one device (or a mix), from `seed`;
// `tuning` (cents) moves every pitch.
Score makeScore(Device device, uint32_t seed, uint32_t calls, int tuning);

struct Transcribed {
    double precision, recall;
    size_t notes, expected;
    size_t pitchCalls, pitchHits;  // calls of one pitched note; within 5 cents in the MIDI file
    // Pairs of matched notes whose loudness differs by 6 dB or more, and
    // those whose velocities are in the same order.
    size_t loudPairs, loudPairsInOrder;
};

// Compares a .mid with the score: a note matches when its channel is its
// voice (a drum hit: the voice's drum key), its key is the score's and its
// onset within one call of the score's (a slide's anywhere in its glide),
// the file's ticks taken back to calls by the score's phase.
Transcribed compareMidi(const Score& score, const std::string& midiBytes);

const char* deviceName(Device device);
