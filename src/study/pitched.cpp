#include "study/pitched.h"

#include <algorithm>

namespace {

constexpr int64_t kChange = 4500;
constexpr int64_t kCap = 2500;
constexpr int32_t kBand = 500;   // 50 cents, in thousandths of a key
constexpr int32_t kDrift = 250;  // 25 cents

int64_t callCost(int32_t pitch, int key) {
    if (pitch == kNoPitch) return 0;
    const int64_t beyond = std::abs(int64_t{pitch} - int64_t{key} * 1000) - kBand;
    if (beyond <= 0) return 0;
    return std::min(beyond * beyond / 100, kCap);  // cents beyond, squared
}

bool within(int32_t pitch, int key) {
    return pitch != kNoPitch && std::abs(int64_t{pitch} - int64_t{key} * 1000) <= kBand;
}

}  // namespace

bool holdsFrom(const int32_t* pitch, int key) {
    bool rises = false, falls = false;
    for (uint32_t c = 0; c < kHold; ++c) {
        if (!within(pitch[c], key)) return false;
        if (c > 0) {
            rises = rises || pitch[c] > pitch[c - 1];
            falls = falls || pitch[c] < pitch[c - 1];
        }
    }
    // A sweep moves one way; a vibrato turns.
    return (rises && falls) || std::abs(int64_t{pitch[kHold - 1]} - pitch[0]) <= kDrift;
}

namespace {

// The note holds its key somewhere.
bool holds(const int32_t* pitch, const PitchedNote& note) {
    for (uint32_t c = note.first; c + kHold - 1 <= note.last; ++c) {
        if (holdsFrom(pitch + c, note.key)) return true;
    }
    return false;
}

}  // namespace

// The cheapest key per call (in fitted_; empty when no call has a pitch).
// Only keys next to a call's pitch (its nearest key and the keys either side)
// can be: any other costs at least as much in every call.
void PitchedFit::fitKeys(const int32_t* pitch, size_t count) {
    std::vector<int>& candidates = candidates_;
    candidates.clear();
    fitted_.clear();
    // Most parts stay within 50 cents of one key all along: that costs
    // nothing, and nothing fits better.
    const int32_t* first =
        std::find_if(pitch, pitch + count, [](int32_t p) { return p != kNoPitch; });
    if (first == pitch + count) return;
    const int only = nearestKey(*first);
    if (std::all_of(first, pitch + count,
                    [only](int32_t p) { return p == kNoPitch || within(p, only); })) {
        fitted_.assign(count, only);
        return;
    }
    for (size_t c = 0; c < count; ++c) {
        if (pitch[c] == kNoPitch) continue;
        const int key = nearestKey(pitch[c]);
        if (c > 0 && pitch[c - 1] != kNoPitch && nearestKey(pitch[c - 1]) == key) continue;
        candidates.insert(candidates.end(), {key - 1, key, key + 1});
    }
    if (candidates.empty()) return;
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    const size_t keys = candidates.size();
    std::vector<int64_t>& cost = cost_;
    std::vector<int64_t>& next = next_;
    cost.resize(keys);
    next.resize(keys);
    changed_.resize(count * keys);
    bestBefore_.resize(count);
    for (size_t k = 0; k < keys; ++k) cost[k] = callCost(pitch[0], candidates[k]);
    for (size_t c = 1; c < count; ++c) {
        const size_t best =
            static_cast<size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
        bestBefore_[c] = best;
        const int64_t change = cost[best] + kChange;
        for (size_t k = 0; k < keys; ++k) {
            changed_[c * keys + k] = change < cost[k];
            next[k] = std::min(cost[k], change) + callCost(pitch[c], candidates[k]);
        }
        cost.swap(next);
    }
    fitted_.resize(count);
    size_t k = static_cast<size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
    for (size_t c = count; c-- > 0;) {
        fitted_[c] = candidates[k];
        if (c > 0 && changed_[c * keys + k]) k = bestBefore_[c];
    }
}

std::vector<PitchedNote> PitchedFit::notes(const int32_t* pitch, size_t count) {
    fitKeys(pitch, count);
    const std::vector<int>& fitted = fitted_;
    if (fitted.empty()) return {};
    std::vector<PitchedNote> notes;
    for (uint32_t c = 0; c < count; ++c) {
        if (c > 0 && fitted[c] == fitted[c - 1]) {
            notes.back().last = c;
        } else {
            notes.push_back({c, c, fitted[c]});
        }
    }
    // Glides join a neighbour, until every note holds its key (or one is left).
    for (size_t n = 0; n < notes.size() && notes.size() > 1;) {
        if (holds(pitch, notes[n])) {
            ++n;
            continue;
        }
        if (n > 0) {
            notes[n - 1].last = notes[n].last;
        } else {
            notes[1].first = notes[0].first;
        }
        notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(n));
        n = n > 0 ? n - 1 : 0;
    }
    // Neighbours of one key are one note.
    std::vector<PitchedNote> merged;
    for (const PitchedNote& note : notes) {
        if (!merged.empty() && merged.back().key == note.key) {
            merged.back().last = note.last;
        } else {
            merged.push_back(note);
        }
    }
    return merged;
}
