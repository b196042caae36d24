#include "study/digi.h"

void Digi::store(int chip, uint8_t value) {
    const uint8_t level = value & 0x0F;
    if (level == volume_[chip]) return;
    volume_[chip] = level;
    ++changes_;
}

void Digi::endCall(uint32_t call) {
    calls_.resize(call, 0);
    calls_.push_back(changes_ >= kDigiChanges ? 1 : 0);
    changes_ = 0;
}
