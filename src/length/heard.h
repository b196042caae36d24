// How long a song lasts as a listener hears it. The run plays the song call
// by call; after each call the search decides, from what is certain first:
//  - the machine's state repeats (repeat.h): the song repeats for ever from
//    there; within that period the music's own period and start are found
//    in the notes (loop.h), or, when nothing is heard in it, the song ends
//    with the last call in which something was heard; when something is
//    heard in it but no note begins (a held or fading last chord, however
//    short or long the state's period), the song ends too: the run goes on
//    for at most kFadeSeconds while the chord's release fades, and the song
//    lasts up to the last call in which it was heard;
//  - otherwise the notes are looked at now and then (after kFirstLook calls,
//    then each time the run has gone on by a fifth): a song silent for
//    kSilenceSeconds has ended; a loop in the music alone counts under the
//    rules of loopRules, of the music as a whole or else of each voice's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "length/loop.h"
#include "length/repeat.h"
#include "song/call_rate.h"

// Its music repeats from call `start` with a period of `period` calls (it
// lasts start - 1 + period calls: an intro and one pass), or it ends after
// call `end` (falls silent for good), or neither was found within the calls
// run.
enum class HeardKind : uint8_t { Loop, Ends, None };
struct HeardLength {
    HeardKind kind;
    uint32_t start, period;  // Loop
    uint32_t end;            // the last call it counts: start - 1 + period, or where it ends
};

// When the notes are first looked at, in calls; then again each time the run
// has gone on by a fifth, at least this much.
inline constexpr uint32_t kFirstLook = 500;
// A song silent this long, in seconds, has ended.
inline constexpr uint32_t kSilenceSeconds = 30;
// The longest a last chord is heard fading (or held) after the machine's
// state has begun to repeat without a note beginning, in seconds.
inline constexpr uint32_t kFadeSeconds = 2;

// A loop found in the notes alone counts once it has held for two whole
// passes after its first, up to the last call, and when the calls from its
// start are at least two minutes and no more than one pass comes before it:
// a section played a few times within a song, or a riff under an intro, is
// not taken for the song's loop. Loops are a second long at least.
constexpr LoopRules loopRules(uint32_t second) {
    return {2, second, 100, 120 * second, kMismatchShare};
}

// The calls that last `seconds` at the mean rate of calls 0 to `call` (which
// in the machine environment may change from call to call).
uint32_t callsOf(const CallRate& rate, uint32_t seconds, uint32_t call);

// The calls a heard length counts (for None: the calls run).
uint32_t heardCalls(const HeardLength& heard, uint32_t callsRun);

// The music of the calls from 0 to the one given, as the notes so far have it.
using MusicOf = std::function<MusicCalls(uint32_t lastCall)>;

class LengthSearch {
public:
    // Before the start routine, with the tune in memory; `extra`: the
    // machine's state besides memory and registers, or null; `hidden`: bytes
    // of memory the state leaves out (at most 8).
    explicit LengthSearch(ExtraState extra, HiddenBytes hidden = {});

    // After routine call `call` (0, 1, 2, ... in order), its period known to
    // `rate`: true when the song's length is known.
    bool afterCall(uint32_t call, const CallRate& rate, const MusicOf& music);

    // After the run: how long the song lasts.
    HeardLength heard(const CallRate& rate, const MusicOf& music) const;

    // The machine's exact repeat, if it was found.
    const SongLength& exact() const { return repeat_.found(); }

private:
    bool lookAtNotes(uint32_t call, const CallRate& rate, const MusicOf& music);

    RepeatSearch repeat_;
    uint32_t lastCall_ = 0;   // the last call run
    uint32_t fadeUntil_ = 0;  // with a last chord fading: the last call it is followed to
    uint32_t nextLook_ = kFirstLook;
    bool decided_ = false;
    HeardLength heard_{HeardKind::None, 0, 0, 0};
};

// The console's lines for song `song` of `songs` after `calls` play calls,
// times from the call rate: "Song 2 of 5 lasts 1:23.45 (4180 calls), then
// repeats from 0:10.20 (call 512)", "Song 1 of 1 lasts 0:42.10 (2110 calls),
// then ends" or "Song 1: no repeat within 3000 calls (1:00.02)"; when the
// machine's state repeated, a second line "Exact repeat: the state after
// call J is the state after call I".
std::string songLengthLine(int song, int songs, uint32_t calls, const HeardLength& heard,
                           const SongLength& exact, const CallRate& rate);
