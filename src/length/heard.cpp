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

}  // namespace

LengthSearch::LengthSearch(ExtraState extra) : repeat_(extra) {}

bool LengthSearch::lookAtNotes(uint32_t call, const CallRate& rate, const MusicOf& music) {
    const MusicCalls calls = music(call);
    uint32_t heard = 0;
    if (lastHeard(calls, heard) && call - heard >= callsOf(rate, kSilenceSeconds, call)) {
        heard_ = {HeardKind::Ends, 0, 0, heard};
        return true;
    }
    const LoopRules rules = loopRules(callsOf(rate, 1, call));
    MusicLoop loop = loopInMusic(calls, rules);
    if (loop.period == 0) loop = loopByParts(calls, rules);
    if (loop.period > 0) {
        heard_ = loopLength(loop);
        return true;
    }
    return false;
}

bool LengthSearch::afterCall(uint32_t call, const CallRate& rate, const MusicOf& music) {
    lastCall_ = call;
    if (fadeUntil_ != 0) return call >= fadeUntil_;
    if (repeat_.afterCall(call)) {  // the machine repeats: certain
        const SongLength& found = repeat_.found();
        if (!heldWithoutNotes(music(found.last), found.first + 1, found.last)) return true;
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
        lastHeard(music(std::min(lastCall_, fadeUntil_)), heard);
        return {HeardKind::Ends, 0, 0, heard};
    }
    if (found.repeats) {
        const MusicCalls calls = music(found.last);
        const MusicLoop loop =
            loopInState(calls, found.first, found.last, callsOf(rate, 1, found.last));
        if (loop.period > 0) return loopLength(loop);
        uint32_t heard = 0;
        if (!lastHeard(calls, heard)) heard = 0;
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
