// How long a song lasts. The machine is deterministic and a play call starts
// from nothing but the state the call before left (only pc is set), so when
// the state after call J equals the state after an earlier call I (the start
// routine being call 0), calls I+1 to J repeat for ever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "song/call_rate.h"

struct SongLength {
    bool repeats;
    uint32_t first;  // I: the calls after it repeat
    uint32_t last;   // J: the call whose state is that after I
};

// Further state that decides what follows a call (a machine's chips): writes
// its words and returns how many.
using ExtraState = size_t (*)(uint64_t* words);
inline constexpr size_t kMaxExtraWords = 256;

// Before the start routine, with the tune in memory; `extra` may be null.
void songLengthStart(ExtraState extra = nullptr);

// After routine call `call` (0, 1, 2, ... in order): true when its state is
// that after an earlier call, which ends the song.
bool songLengthAfterCall(uint32_t call);

SongLength songLength();

// How long a song lasts as a listener hears it: its music repeats from call
// `start` with a period of `period` calls (it lasts start - 1 + period calls:
// an intro and one pass), or it ends after call `end` (falls silent for
// good), or neither was found within the calls run.
enum class HeardKind : uint8_t { Loop, Ends, None };
struct HeardLength {
    HeardKind kind;
    uint32_t start, period;  // Loop
    uint32_t end;            // the last call it counts: start - 1 + period, or where it ends
};

// The calls a heard length counts (for None: the calls run).
uint32_t heardCalls(const HeardLength& heard, uint32_t callsRun);

// The console's lines for song `song` of `songs` after `calls` play calls,
// times from the call rate: "Song 2 of 5 lasts 1:23.45 (4180 calls), then
// repeats from 0:10.20 (call 512)", "Song 1 of 1 lasts 0:42.10 (2110 calls),
// then ends" or "Song 1: no repeat within 3000 calls (1:00.02)"; when the
// machine's state repeated, a second line "Exact repeat: the state after
// call J is the state after call I".
std::string songLengthLine(int song, int songs, uint32_t calls, const HeardLength& heard,
                           const CallRate& rate);
