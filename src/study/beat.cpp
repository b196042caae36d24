#include "study/beat.h"

#include <algorithm>

namespace {

constexpr uint32_t kLongest = 16;
constexpr size_t kFewest = 8;

}  // namespace

uint32_t rowLength(std::vector<uint32_t> onsets) {
    std::sort(onsets.begin(), onsets.end());
    onsets.erase(std::unique(onsets.begin(), onsets.end()), onsets.end());
    if (onsets.size() < kFewest) return 0;
    for (uint32_t length = kLongest; length >= 2; --length) {
        size_t phases[kLongest] = {};
        for (const uint32_t onset : onsets) ++phases[onset % length];
        size_t inStep = 0;
        for (uint32_t p = 0; p < length; ++p) {
            const size_t late = length >= 4 ? phases[(p + 1) % length] : 0;
            inStep = std::max(inStep, phases[p] + late);
        }
        if (inStep * 10 >= onsets.size() * 9) return length;
    }
    return 0;
}
