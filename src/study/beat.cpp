#include "study/beat.h"

#include <algorithm>

namespace {

constexpr uint32_t kLongest = 16;
constexpr size_t kFewest = 8;

struct InStep {
    size_t onsets;   // on the phase, and a call late for rows of 4 or more
    uint32_t phase;  // the first of the phases that hold the most
};

// `onsets` sorted, each once.
InStep mostInStep(const std::vector<uint32_t>& onsets, uint32_t length) {
    std::vector<size_t> phases(length);
    for (const uint32_t onset : onsets) ++phases[onset % length];
    InStep best{0, 0};
    for (uint32_t p = 0; p < length; ++p) {
        const size_t late = length >= 4 ? phases[(p + 1) % length] : 0;
        const size_t inStep = phases[p] + late;
        if (inStep > best.onsets || (inStep == best.onsets && phases[p] > phases[best.phase]))
            best = {inStep, p};
    }
    return best;
}

void sortOnce(std::vector<uint32_t>& onsets) {
    std::sort(onsets.begin(), onsets.end());
    onsets.erase(std::unique(onsets.begin(), onsets.end()), onsets.end());
}

}  // namespace

uint32_t rowLength(std::vector<uint32_t> onsets, uint32_t speed) {
    sortOnce(onsets);
    if (onsets.size() < kFewest) return 0;
    for (uint32_t length = kLongest * speed; length >= 2 * speed; --length) {
        if (mostInStep(onsets, length).onsets * 10 >= onsets.size() * 9) return length;
    }
    return 0;
}

uint32_t rowPhase(std::vector<uint32_t> onsets, uint32_t row) {
    if (row == 0) return 0;
    sortOnce(onsets);
    return mostInStep(onsets, row).phase;
}

uint32_t callsAScreen(uint32_t clock, uint32_t period) {
    // Calls a second over 50, rounded: 2 from 75 calls a second on.
    const uint64_t speed = (uint64_t{clock} * 2 / period + 50) / 100;
    return static_cast<uint32_t>(std::max<uint64_t>(speed, 1));
}
