#include "song/song_length.h"

#include <unordered_map>

#include "cpu/fingerprint.h"
#include "song/call_rate.h"

namespace {

struct FingerprintHash {
    size_t operator()(const Fingerprint& f) const { return static_cast<size_t>(f.low); }
};

thread_local std::unordered_map<Fingerprint, uint32_t, FingerprintHash>
    seen;  // state -> the call after it
thread_local SongLength length;
thread_local ExtraState extraState = nullptr;

Fingerprint stateNow() {
    const Fingerprint memory = fingerprintTake();
    if (extraState == nullptr) return memory;
    uint64_t words[kMaxExtraWords];
    return fingerprintWith(memory, words, extraState(words));
}

}  // namespace

void songLengthStart(ExtraState extra) {
    seen.clear();
    length = {};
    extraState = extra;
    fingerprintStart();
}

bool songLengthAfterCall(uint32_t call) {
    const auto [at, added] = seen.try_emplace(stateNow(), call);
    if (added) return false;
    length = {true, at->second, call};
    return true;
}

SongLength songLength() {
    return length;
}

uint32_t heardCalls(const HeardLength& heard, uint32_t callsRun) {
    return heard.kind == HeardKind::None ? callsRun : heard.end;
}

std::string songLengthLine(int song, int songs, uint32_t calls, const HeardLength& heard,
                           const CallRate& rate) {
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
    if (length.repeats) {
        line += "\nExact repeat: the state after call " + std::to_string(length.last) +
                " is the state after call " + std::to_string(length.first);
    }
    return line;
}
