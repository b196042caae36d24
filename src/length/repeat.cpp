#include "length/repeat.h"

RepeatSearch::RepeatSearch(ExtraState extra) : extra_(extra) {
    fingerprintStart();
}

Fingerprint RepeatSearch::stateNow() const {
    const Fingerprint memory = fingerprintTake();
    if (extra_ == nullptr) return memory;
    uint64_t words[kMaxExtraWords];
    return fingerprintWith(memory, words, extra_(words));
}

bool RepeatSearch::afterCall(uint32_t call) {
    const auto [at, added] = seen_.try_emplace(stateNow(), call);
    if (added) return false;
    found_ = {true, at->second, call};
    return true;
}
