// The machine's exact repeat. The machine is deterministic and a play call
// starts from nothing but the state the call before left (only pc is set), so
// when the state after call J equals the state after an earlier call I (the
// start routine being call 0), calls I+1 to J repeat for ever.
//
// The states are kept in a table of at most kMaxStates: every call's while
// there is room, then every second call's, every fourth's, and so on (the
// table is thinned to the calls that are multiples of the new stride). Every
// call's state is still looked up, so a repeat is found at the latest a
// stride after the first kept call of the period, with J - I the period
// itself: a state kept at call c of the period is met again at c + period,
// before anything that could thin it away from c + 2 * period. For songs of
// fewer calls than the table holds, I is the first call of the period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "cpu/fingerprint.h"

struct SongLength {
    bool repeats;
    uint32_t first;  // I: the calls after it repeat
    uint32_t last;   // J: the call whose state is that after I
};

// Further state that decides what follows a call (a machine's chips): writes
// its words and returns how many.
using ExtraState = size_t (*)(uint64_t* words);

// Bytes of memory that the state leaves out (a clock that counts calls and
// would keep every state apart), their addresses.
struct HiddenBytes {
    const uint16_t* addresses = nullptr;
    size_t count = 0;
};
inline constexpr size_t kMaxExtraWords = 256;
inline constexpr size_t kMaxStates = size_t{1} << 16;

class RepeatSearch {
public:
    // Before the start routine, with the tune in memory; `extra` may be null.
    explicit RepeatSearch(ExtraState extra = nullptr, HiddenBytes hidden = {});

    // After routine call `call` (0, 1, 2, ... in order): true when its state
    // is that after an earlier call, which ends the song.
    bool afterCall(uint32_t call);

    const SongLength& found() const { return found_; }

private:
    struct Hash {
        size_t operator()(const Fingerprint& f) const { return static_cast<size_t>(f.low); }
    };
    Fingerprint stateNow() const;

    std::unordered_map<Fingerprint, uint32_t, Hash> seen_;  // state -> the call after it
    uint32_t stride_ = 1;                                   // the calls kept are its multiples
    SongLength found_{};
    ExtraState extra_;
    HiddenBytes hidden_;
};
