#include "length/repeat.h"

#include "cpu/cpu_state.h"

RepeatSearch::RepeatSearch(ExtraState extra, HiddenBytes hidden) : extra_(extra), hidden_(hidden) {
    fingerprintStart();
}

Fingerprint RepeatSearch::stateNow() const {
    // The hidden bytes are 0 whenever the fingerprint is taken, whatever
    // they hold: the pages compared then always see 0 there.
    uint8_t kept[8];
    for (size_t k = 0; k < hidden_.count; ++k) {
        kept[k] = cpu.memory[hidden_.addresses[k]];
        cpu.memory[hidden_.addresses[k]] = 0;
    }
    const Fingerprint memory = fingerprintTake();
    for (size_t k = 0; k < hidden_.count; ++k) cpu.memory[hidden_.addresses[k]] = kept[k];
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
