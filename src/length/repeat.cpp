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
    const Fingerprint state = stateNow();
    if (const auto at = seen_.find(state); at != seen_.end()) {
        found_ = {true, at->second, call};
        return true;
    }
    if (call % stride_ != 0) return false;
    if (seen_.size() >= kMaxStates) {
        stride_ *= 2;
        std::erase_if(seen_, [this](const auto& kept) { return kept.second % stride_ != 0; });
        if (call % stride_ != 0) return false;
    }
    seen_.emplace(state, call);
    return false;
}
