#include "study/digi.h"

void Digi::store(int chip, uint8_t value) {
    const uint8_t level = value & 0x0F;
    if (level == volume_[chip]) return;
    volume_[chip] = level;
    ++changes_;
}

void Digi::endCall(uint32_t call) {
    while (thinning_.thinFor(call))
        thinPairs(calls_, [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a | b); });
    const uint32_t entry = thinning_.index(call);
    const uint8_t samples = changes_ >= kDigiChanges ? 1 : 0;
    changes_ = 0;
    if (calls_.size() > entry) {
        calls_[entry] = static_cast<uint8_t>(calls_[entry] | samples);
        return;
    }
    calls_.resize(entry, 0);
    calls_.push_back(samples);
}
