// Where the music repeats, as a listener hears it: from the transcription's
// notes, call by call, what each voice sounds (the key of its note, a
// chord's keys, a drum) and where notes begin. Pulse width, filter, envelope
// settings and the phase of a vibrato or an arpeggio are not notes, so two
// passes of a song that differ only in those are the same music.
//
// Two calls sound the same when every voice sounds the same notes and the
// notes that begin in one begin in the other or a call before or after it.
// The music repeats with period P from call S when calls c and c + P sound
// the same for nearly all calls from S on: in every stretch of P calls at
// most kMismatchShare of them differ.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "study/notes.h"

// What a call sounds, part by part: the first three voices each, the voices
// of further chips together, the samples.
inline constexpr size_t kMusicParts = 5;
using PartSounds = std::array<uint16_t, kMusicParts>;
// The part of voice `voice` (0 to 8).
constexpr size_t musicPart(uint8_t voice) {
    return voice < 3 ? voice : 3;
}

// Per call, or, for a run whose lists were thinned (thinning.h), per entry of
// 2^shift calls: the searches below work in entries, which the caller turns
// into calls.
struct MusicCalls {
    std::vector<uint64_t> sounds;   // per call, a hash of the voices' notes; 0: nothing heard
    std::vector<uint16_t> onsets;   // per call, the voices whose note begins there
    std::vector<PartSounds> parts;  // per call, a short hash of each part's notes
    uint8_t shift = 0;

    uint32_t entry(uint32_t call) const { return call >> shift; }
    uint32_t firstCall(uint32_t k) const { return k << shift; }
    uint32_t lastCall(uint32_t k) const { return ((k + 1) << shift) - 1; }
};

// The calls from 0 to `lastCall` of `notes` (each note from its first to its
// last call), and the samples played in them (digi.h), which are heard too,
// in entries of 2^shift calls (`samples` holds one value an entry).
MusicCalls musicCalls(const std::vector<Note>& notes, uint32_t lastCall,
                      const std::vector<uint8_t>& samples, uint8_t shift = 0);

// The share of calls in a pass that may differ.
inline constexpr double kMismatchShare = 0.03;

struct MusicLoop {
    uint32_t start;   // S: the first call of the first pass
    uint32_t period;  // P: 0 when the music does not repeat
};

// The machine's state after call `j` is the state after call `i`: everything
// after i repeats with period j - i. The music's period is the smallest
// divisor of j - i, `shortest` calls or more (a second: less is no song's
// loop, and notes that begin within a call of each other are alike), over
// which the notes of calls i + 1 to j repeat, and it starts at the earliest
// call from which they do so (at most i + 1), where a call that differs from
// the call a period later in one part alone while another part heard in
// both is the same (a voice that joins later, a bass line played otherwise
// the first time) counts as the same: the first pass is heard as the loop's
// own. Period 0 when nothing is heard in those
// calls.
MusicLoop loopInState(const MusicCalls& music, uint32_t i, uint32_t j, uint32_t shortest);

// What a loop found in the music alone must show.
struct LoopRules {
    uint32_t passes;        // whole passes held after the first, up to the last call
    uint32_t shortest;      // the shortest period, in calls
    uint32_t introPercent;  // the most calls before the first pass, in percent of a pass (0: any)
    uint32_t span;          // the fewest calls from the start to the last call
    double share;           // of the calls of a pass that may differ
};

// Without a repeat of the state: the smallest period over which the music has
// repeated, up to its last call, as the rules say, and the earliest start;
// period 0 when there is none. A note must begin in a pass.
MusicLoop loopInMusic(const MusicCalls& music, const LoopRules& rules);

// When the music as a whole has no loop under the rules: each voice's own
// (order lists of different lengths give a joint period of hours, while a
// listener hears the song start over when its longest voice does). Every
// part in which notes are heard (the samples aside) must loop under the
// rules, two parts at least; the loop of the part whose first pass ends
// last. Period 0 when they do not.
MusicLoop loopByParts(const MusicCalls& music, const LoopRules& rules);

// Something is heard in calls `from` to `to` but no note begins in them.
bool heldWithoutNotes(const MusicCalls& music, uint32_t from, uint32_t to);

// The last call in which something is heard; false when nothing is.
bool lastHeard(const MusicCalls& music, uint32_t& call);
