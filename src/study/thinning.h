// Per-call records kept within a bound: a run that finds a song's length
// without writing files keeps at most `most` entries of each per-call list.
// Past that, every list is thinned: two neighbouring entries become one, and
// from then on an entry stands for 2, 4, 8... calls (the stride, a power of
// two). Every list of a run thins at the same call, so that entry k of each
// stands for the same calls: k * stride to (k + 1) * stride - 1.
#pragma once

#include <cstdint>
#include <vector>

class CallThinning {
public:
    // `most`: the entries a list may hold; 0, the default: no bound.
    explicit CallThinning(uint32_t most = 0) : most_(most) {}

    // The entry of call `call`. Before a call's first entry is written: true
    // when the lists must be thinned first (the shift has grown by one).
    bool thinFor(uint32_t call) {
        if (most_ == 0 || (call >> shift_) < most_) return false;
        ++shift_;
        return true;
    }
    uint32_t index(uint32_t call) const { return call >> shift_; }
    // The first and the last call of entry `k`.
    uint32_t firstCall(uint32_t k) const { return k << shift_; }
    uint32_t lastCall(uint32_t k) const { return ((k + 1) << shift_) - 1; }
    uint8_t shift() const { return shift_; }
    bool bounded() const { return most_ != 0; }

private:
    uint32_t most_ = 0;
    uint8_t shift_ = 0;
};

// Entries 2k and 2k + 1 become entry k, as `merge(earlier, later)` makes it; an
// odd last entry stays alone.
template <typename T, typename Merge>
void thinPairs(std::vector<T>& list, Merge merge) {
    const size_t pairs = list.size() / 2;
    for (size_t k = 0; k < pairs; ++k) list[k] = merge(list[2 * k], list[2 * k + 1]);
    if (list.size() % 2 != 0) list[pairs] = list.back();
    list.resize((list.size() + 1) / 2);
}
