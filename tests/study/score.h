// Tunes with a known score, to measure the transcription by: a small player
// in a PSID writes, call by call, the registers that a score's devices call
// for (plain notes with and without a hard restart, vibrato, arpeggios, drum
// tables, legato, slides, and mixes of them), and the score says which notes
// a musician hears and what pitch each call holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

enum class Device { Plain, HardRestart, Vibrato, Arpeggio, Drum, Legato, Slide, Mix };

struct ScoreNote {
    int voice;                  // 0 to 2
    int key;                    // -1 for a drum hit
    uint32_t earliest, latest;  // the calls the onset may be on (a slide's: its glide)
};

inline constexpr int32_t kNoScorePitch = INT32_MIN;

struct Score {
    std::vector<ScoreNote> notes;
    // Per call (0 being the start routine) and voice: the register's pitch
    // in thousandths of a key while one pitched note sounds, else kNoScorePitch.
    std::vector<std::vector<int32_t>> pitch;
    Bytes tune;  // the PSID file
};

// A score of `calls` play calls with one device (or a mix), from `seed`;
// `tuning` (cents) moves every pitch.
Score makeScore(Device device, uint32_t seed, uint32_t calls, int tuning);

struct Transcribed {
    double precision, recall;
    size_t notes, expected;
    size_t pitchCalls, pitchHits;  // calls of one pitched note; within 5 cents in the MIDI file
};

// Compares a .mid with the score: a note matches when its channel is its
// voice (a drum hit: the voice's drum key), its key is the score's and its
// onset within one call of the score's (a slide's anywhere in its glide).
Transcribed compareMidi(const Score& score, const std::string& midiBytes);

const char* deviceName(Device device);
