#include "study/chip.h"

#include <algorithm>
#include <iterator>

Chips::Chips(const TuneHeader& header) {
    count_ = tuneChipBlocks(header, address_);
}

int Chips::store(uint16_t address, uint8_t value) {
    const unsigned reg = address & 0x1F;
    if (reg > 24) return -1;  // the chip has 25 registers
    int chip = 0;
    for (int k = 1; k < count_; ++k) {
        if ((address & 0xFFE0) == address_[k]) chip = k;
    }
    registers_[chip][reg] = value;
    if (reg >= 21) return chip;
    const int voice = chip * kVoicesPerChip + static_cast<int>(reg / 7);
    written_[voice] = true;
    if (reg % 7 == 4) {
        if (!(value & kGate)) {
            gateOff_[voice] = true;
        } else if (gateOff_[voice]) {
            retriggered_[voice] = true;
        }
        if (value & kTest) {
            testOn_[voice] = true;
        } else if (testOn_[voice]) {
            retriggered_[voice] = true;
        }
    }
    return chip;
}

void Chips::beginCall() {
    std::fill(std::begin(gateOff_), std::end(gateOff_), false);
    std::fill(std::begin(testOn_), std::end(testOn_), false);
    std::fill(std::begin(retriggered_), std::end(retriggered_), false);
    std::fill(std::begin(written_), std::end(written_), false);
}

ChipState Chips::state(int chip) const {
    const uint8_t* r = registers_[chip];
    ChipState state{};
    for (int v = 0; v < kVoicesPerChip; ++v) {
        const uint8_t* voice = r + 7 * v;
        state.voice[v] = {static_cast<uint16_t>(voice[0] | voice[1] << 8),
                          static_cast<uint16_t>(voice[2] | (voice[3] & 0x0F) << 8), voice[4],
                          voice[5], voice[6]};
    }
    state.cutoff = static_cast<uint16_t>((r[21] & 0x07) | r[22] << 3);
    state.resonanceRouting = r[23];
    state.modeVolume = r[24];
    return state;
}
