#include "song/song_length.h"

#include <unordered_map>

#include "cpu/fingerprint.h"
#include "song/call_rate.h"

namespace {

struct FingerprintHash {
    size_t operator()(const Fingerprint& f) const { return static_cast<size_t>(f.low); }
};

std::unordered_map<Fingerprint, uint32_t, FingerprintHash> seen;  // state -> the call after it
SongLength length;
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

std::string songLengthLine(int song, int songs, uint32_t calls) {
    std::string line = "Song " + std::to_string(song);
    if (songs >= 1) line += " of " + std::to_string(songs);
    // The time at the end of call k is when call k+1 begins.
    const auto end = [](uint32_t k) { return clockTime(callStart(k + 1)); };
    if (!length.repeats)
        return line + ": no repeat within " + std::to_string(calls) + " calls (" + end(calls) + ")";
    const uint32_t i = length.first, j = length.last;
    if (j == i + 1)
        return line + " lasts " + end(i) + " (" + std::to_string(i) +
               " calls), then stays the same";
    return line + " lasts " + end(j) + " (" + std::to_string(j) + " calls), then repeats from " +
           end(i) + " (call " + std::to_string(i + 1) + ")";
}
