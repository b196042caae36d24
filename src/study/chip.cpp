#include "study/chip.h"

#include <algorithm>
#include <iterator>

namespace {

struct Chips {
    int count;
    uint16_t address[kMaxChips];
    uint8_t registers[kMaxChips][32];
    bool gateOff[kMaxVoices];  // written off in this call
    bool testOn[kMaxVoices];   // the test bit written on in this call
    bool retriggered[kMaxVoices];
    bool written[kMaxVoices];
};

thread_local Chips chips;

}  // namespace

void chipModelReset(const TuneHeader& header) {
    chips = Chips{};
    chips.count = tuneChipBlocks(header, chips.address);
}

int chipCount() {
    return chips.count;
}

uint16_t chipAddress(int chip) {
    return chips.address[chip];
}

int chipStore(uint16_t address, uint8_t value) {
    const unsigned reg = address & 0x1F;
    if (reg > 24) return -1;  // the chip has 25 registers
    int chip = 0;
    for (int k = 1; k < chips.count; ++k) {
        if ((address & 0xFFE0) == chips.address[k]) chip = k;
    }
    chips.registers[chip][reg] = value;
    if (reg >= 21) return chip;
    const int voice = chip * kVoicesPerChip + static_cast<int>(reg / 7);
    chips.written[voice] = true;
    if (reg % 7 == 4) {
        if (!(value & kGate)) {
            chips.gateOff[voice] = true;
        } else if (chips.gateOff[voice]) {
            chips.retriggered[voice] = true;
        }
        if (value & kTest) {
            chips.testOn[voice] = true;
        } else if (chips.testOn[voice]) {
            chips.retriggered[voice] = true;
        }
    }
    return chip;
}

void chipBeginCall() {
    std::fill(std::begin(chips.gateOff), std::end(chips.gateOff), false);
    std::fill(std::begin(chips.testOn), std::end(chips.testOn), false);
    std::fill(std::begin(chips.retriggered), std::end(chips.retriggered), false);
    std::fill(std::begin(chips.written), std::end(chips.written), false);
}

ChipState chipState(int chip) {
    const uint8_t* r = chips.registers[chip];
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

bool chipRetriggered(int voice) {
    return chips.retriggered[voice];
}

bool chipVoiceWritten(int voice) {
    return chips.written[voice];
}
