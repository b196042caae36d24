#include "length/heard.h"

#include <algorithm>

uint32_t callsOf(const CallRate& rate, uint32_t seconds, uint32_t call) {
    const uint64_t elapsed = std::max<uint64_t>(rate.start(call + 1), 1);
    return static_cast<uint32_t>(uint64_t{seconds} * rate.clock() * (call + 1) / elapsed);
}

uint32_t heardCalls(const HeardLength& heard, uint32_t callsRun) {
    return heard.kind == HeardKind::None ? callsRun : heard.end;
}

namespace {

// A loop as a heard length: the first pass begins at the loop's start, call
// 1 at the earliest (call 0 is the start routine).
HeardLength loopLength(const MusicLoop& loop) {
    const uint32_t start = std::max(loop.start, 1u);
    return {HeardKind::Loop, start, loop.period, start + loop.period - 1};
}

// The music may be kept in entries of several calls (loop.h): a loop found in
// entries, in calls.
MusicLoop inCalls(const MusicCalls& music, const MusicLoop& loop) {
    return {music.firstCall(loop.start), loop.period << music.shift};
}

LoopRules inEntries(LoopRules rules, const MusicCalls& music) {
    rules.shortest = std::max(rules.shortest >> music.shift, 1u);
    rules.span >>= music.shift;
    return rules;
}

// The last call in which something is heard, at most `lastCall`.
bool lastHeardCall(const MusicCalls& music, uint32_t lastCall, uint32_t& call) {
    uint32_t entry = 0;
    if (!lastHeard(music, entry)) return false;
    call = std::min(music.lastCall(entry), lastCall);
    return true;
}

}  // namespace

LengthSearch::LengthSearch(ExtraState extra, HiddenBytes hidden) : repeat_(extra, hidden) {}

bool LengthSearch::lookAtNotes(uint32_t call, const CallRate& rate, const MusicOf& music) {
    const MusicCalls calls = music(call);
    uint32_t heard = 0;
    if (lastHeardCall(calls, call, heard) && call - heard >= callsOf(rate, kSilenceSeconds, call)) {
        heard_ = {HeardKind::Ends, 0, 0, heard};
        return true;
    }
    const LoopRules rules = inEntries(loopRules(callsOf(rate, 1, call)), calls);
    MusicLoop loop = loopInMusic(calls, rules);
    if (loop.period == 0) loop = loopByParts(calls, rules);
    if (loop.period > 0) {
        heard_ = loopLength(inCalls(calls, loop));
        return true;
    }
    return false;
}

bool LengthSearch::afterCall(uint32_t call, const CallRate& rate, const MusicOf& music) {
    lastCall_ = call;
    if (fadeUntil_ != 0) return call >= fadeUntil_;
    if (repeat_.afterCall(call)) {  // the machine repeats: certain
        const SongLength& found = repeat_.found();
        const MusicCalls calls = music(found.last);
        if (!heldWithoutNotes(calls, calls.entry(found.first + 1), calls.entry(found.last)))
            return true;
        // A last chord: followed while it fades.
        fadeUntil_ = found.last + std::max(callsOf(rate, kFadeSeconds, found.last), 1u);
        return false;
    }
    if (call < nextLook_) return false;
    nextLook_ = std::max(call + kFirstLook, call + call / 5);
    decided_ = lookAtNotes(call, rate, music);
    return decided_;
}

HeardLength LengthSearch::heard(const CallRate& rate, const MusicOf& music) const {
    const SongLength& found = repeat_.found();
    if (fadeUntil_ != 0) {
        uint32_t heard = found.last;
        const uint32_t last = std::min(lastCall_, fadeUntil_);
        lastHeardCall(music(last), last, heard);
        return {HeardKind::Ends, 0, 0, heard};
    }
    if (found.repeats) {
        const MusicCalls calls = music(found.last);
        // In entries: the state's period a whole number of them, one at least.
        const uint32_t i = calls.entry(found.first);
        const uint32_t j = std::max(calls.entry(found.last), i + 1);
        const uint32_t shortest = std::max(callsOf(rate, 1, found.last) >> calls.shift, 1u);
        MusicLoop loop = loopInState(calls, i, j, shortest);
        if (loop.period > 0) {
            // The state's own period is exact.
            const bool whole = loop.period == j - i;
            loop = inCalls(calls, loop);
            if (whole) loop.period = found.last - found.first;
            return loopLength(loop);
        }
        uint32_t heard = 0;
        if (!lastHeardCall(calls, found.last, heard)) heard = 0;
        return {HeardKind::Ends, 0, 0, heard};
    }
    if (decided_) return heard_;
    return {HeardKind::None, 0, 0, 0};
}

std::string songLengthLine(int song, int songs, uint32_t calls, const HeardLength& heard,
                           const SongLength& exact, const CallRate& rate) {
    std::string line = "Song " + std::to_string(song);
    if (songs >= 1) line += " of " + std::to_string(songs);
    // The time at the end of call k is when call k+1 begins.
    const auto end = [&rate](uint32_t k) { return rate.timeText(rate.start(k + 1)); };
    const uint32_t counted = heardCalls(heard, calls);
    switch (heard.kind) {
        case HeardKind::Loop:
            line += " lasts " + end(counted) + " (" + std::to_string(counted) +
                    " calls), then repeats from " + end(heard.start - 1) + " (call " +
                    std::to_string(heard.start) + ")";
            break;
        case HeardKind::Ends:
            line +=
                " lasts " + end(counted) + " (" + std::to_string(counted) + " calls), then ends";
            break;
        case HeardKind::None:
            line += ": no repeat within " + std::to_string(calls) + " calls (" + end(calls) + ")";
            break;
    }
    if (exact.repeats) {
        line += "\nExact repeat: the state after call " + std::to_string(exact.last) +
                " is the state after call " + std::to_string(exact.first);
    }
    return line;
}
