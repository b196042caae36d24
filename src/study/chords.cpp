#include "study/chords.h"

#include <algorithm>

namespace {

constexpr size_t kMinCalls = 6;
constexpr size_t kMinSpan = 4;  // a whole span, which is too short to show its period
constexpr size_t kMaxPeriod = 8;
constexpr int kMaxKeys = 4;
constexpr size_t kMaxHeld = 2;
// A stretch is judged by its first calls, so that long ones cost no more.
constexpr size_t kJudged = 64;

// A chord of the stretch [first, first + count): its keys, or false when the
// stretch does not step as an arpeggio does.
bool chordOf(const int* keys, size_t first, size_t count, ChordStretch& chord) {
    chord = {static_cast<uint32_t>(first), static_cast<uint32_t>(first + count - 1), {}, 0};
    size_t held = 0, steps = 0;
    for (size_t c = first; c < first + count; ++c) {
        if (keys[c] < 0) return false;
        held = c > first && keys[c] == keys[c - 1] ? held + 1 : 1;
        if (held > kMaxHeld) return false;
        if (held == 1) ++steps;
        int* end = chord.keys + chord.keyCount;
        if (std::find(chord.keys, end, keys[c]) == end) {
            if (chord.keyCount == kMaxKeys) return false;
            chord.keys[chord.keyCount++] = keys[c];
        }
    }
    if (chord.keyCount < 2 || steps < 3) return false;
    // In ascending order (four at most).
    for (int k = 1; k < chord.keyCount; ++k) {
        for (int j = k; j > 0 && chord.keys[j - 1] > chord.keys[j]; --j)
            std::swap(chord.keys[j - 1], chord.keys[j]);
    }
    for (int k = 1; k < chord.keyCount; ++k) {
        if (chord.keys[k] - chord.keys[k - 1] >= 2) return true;
    }
    return false;  // neighbours only: a vibrato or a trill
}

// How far the keys from `first` repeat with `period`, up to `limit`.
size_t periodicEnd(const int* keys, size_t limit, size_t first, size_t period) {
    size_t end = first + period;
    while (end < limit && keys[end] >= 0 && keys[end] == keys[end - period]) ++end;
    return end;
}

}  // namespace

std::vector<ChordStretch> chordStretches(const int* keys, size_t count, bool whole) {
    std::vector<ChordStretch> stretches;
    size_t at = 0;
    while (at + kMinCalls <= count) {
        // No stretch holds a key longer than kMaxHeld calls, nor a call
        // without a pitch: begin after them.
        if (keys[at] < 0 || (at + kMaxHeld < count && keys[at + kMaxHeld] == keys[at] &&
                             keys[at + 1] == keys[at])) {
            ++at;
            continue;
        }
        bool found = false;
        for (size_t period = 2; period <= kMaxPeriod && !found; ++period) {
            if (at + period > count) break;
            const size_t judged = periodicEnd(keys, std::min(count, at + kJudged), at, period);
            if (judged - at < std::max(kMinCalls, period + 2)) continue;
            ChordStretch chord;
            if (!chordOf(keys, at, judged - at, chord)) continue;
            // What repeats on steps as the judged calls do.
            const size_t end = periodicEnd(keys, count, at, period);
            chord.last = static_cast<uint32_t>(end - 1);
            stretches.push_back(chord);
            at = end;
            found = true;
        }
        if (!found) ++at;
    }
    if (whole && stretches.empty() && count >= kMinSpan) {
        // Its last key may ring on longer: the release after the steps stop.
        size_t ringing = 1;
        while (ringing < count && keys[count - 1 - ringing] == keys[count - 1]) ++ringing;
        const size_t judged = count - (ringing > kMaxHeld ? ringing - kMaxHeld : 0);
        ChordStretch chord;
        if (judged >= kMinSpan && chordOf(keys, 0, judged, chord)) {
            chord.last = static_cast<uint32_t>(count - 1);
            stretches.push_back(chord);
        }
    }
    return stretches;
}
