// Pitched notes. A part of a sounding span that is neither a drum hit nor a
// chord holds one note, and more only where the pitch moves to another key
// and stays there: a jump to a new key held for a while (legato), or a glide
// that ends on one (a slide). Vibrato, the pitch swinging around a centre by
// up to a semitone, begins no note.
//
// The pitch is fitted with a key per call. A call costs nothing within 50
// cents of its key and more the farther beyond (the square of the cents
// beyond, capped at 2500: a call a semitone or more off); a change of key
// costs 4500, a little less than four calls a semitone off. A vibrato's
// swings past 50 cents cost less than the two changes that would follow
// them, a key held for four calls more. The cheapest fit (found call by call,
// as a Viterbi path) gives the notes. A note that does not hold its key (4
// calls in a row within 50 cents of it that do not move one way by more than
// 25 cents, so that a slow sweep holds no key while a vibrato, which turns,
// does) is a glide: its calls join the note before it (or, at the start, the
// note after it), so that a slide's new note begins where the glide comes
// near it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// A call of a part that has no pitch (noise within a pitched part).
inline constexpr int32_t kNoPitch = std::numeric_limits<int32_t>::min();

struct PitchedNote {
    uint32_t first, last;  // positions in the part
    int key;
};

// The fit, with its working room kept from part to part.
class PitchedFit {
public:
    // `pitch`: per call, in thousandths of a key, less the tune's tuning offset.
    std::vector<PitchedNote> notes(const int32_t* pitch, size_t count);

private:
    void fitKeys(const int32_t* pitch, size_t count);

    std::vector<int> candidates_, fitted_;
    std::vector<int64_t> cost_, next_;
    std::vector<uint8_t> changed_;  // came from the best key of the call before
    std::vector<size_t> bestBefore_;
};

inline constexpr uint32_t kHold = 4;

// The 4 calls from `pitch` hold `key`.
bool holdsFrom(const int32_t* pitch, int key);

// The nearest key of a pitch in thousandths of a key.
inline int nearestKey(int32_t milli) {
    return static_cast<int>((static_cast<int64_t>(milli) + 500 + 1000000) / 1000 - 1000);
}
