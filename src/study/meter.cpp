#include "study/meter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

namespace {

// The notes it takes to say on which row the bars begin.
constexpr size_t kNotesForBars = 32;

// The keys that begin on each row, rows from the first row of the rows' phase.
std::map<uint32_t, std::set<int>> keysByRow(const std::vector<Note>& notes, uint32_t row,
                                            uint32_t rowPhase) {
    std::map<uint32_t, std::set<int>> rows;
    for (const Note& n : notes) {
        // A note a call late (a hard restart) belongs to its row.
        const uint32_t at = n.first + row - rowPhase % row;
        const int key = n.kind == NoteKind::Drum ? -1 - n.voice : n.key;
        rows[at / row].insert(key);
    }
    return rows;
}

// Of the rows on which notes begin, how many begin the same keys as the row
// `lag` rows later.
uint32_t matches(const std::map<uint32_t, std::set<int>>& rows, uint32_t lag) {
    uint32_t count = 0;
    for (const auto& [at, keys] : rows) {
        const auto later = rows.find(at + lag);
        if (later != rows.end() && later->second == keys) ++count;
    }
    return count;
}

}  // namespace

Meter meterOf(const std::vector<Note>& notes, uint32_t row, uint32_t rowPhase) {
    Meter meter;
    if (row == 0) return meter;
    const auto rows = keysByRow(notes, row, rowPhase);
    const uint32_t three = matches(rows, 12) + matches(rows, 24);
    const uint32_t four = matches(rows, 16) + matches(rows, 32);
    meter.beats = three > four ? 3 : 4;
    const uint32_t barRows = 4 * static_cast<uint32_t>(meter.beats);
    meter.barCalls = barRows * row;
    // The weight of the notes that begin on each row of the bar.
    std::vector<uint64_t> weight(barRows, 0);
    for (const Note& n : notes) {
        const uint32_t at = (n.first + row - rowPhase % row) / row;
        weight[at % barRows] += uint64_t{n.last} - n.first + 1;
    }
    const auto heaviest = std::max_element(weight.begin(), weight.end());
    uint64_t second = 0;
    for (auto it = weight.begin(); it != weight.end(); ++it)
        if (it != heaviest) second = std::max(second, *it);
    if (notes.size() >= kNotesForBars && *heaviest * 2 >= second * 3) {
        // Row r of the bar begins on the calls (r - 1) * row + rowPhase.
        const auto first = static_cast<uint32_t>(heaviest - weight.begin());
        meter.phase = (first * row + rowPhase % row + meter.barCalls - row) % meter.barCalls;
    } else {
        // A bar begins with the first row, the one that begins before call
        // `row` (or on call 0).
        meter.phase = (meter.barCalls - (row - rowPhase % row) % row) % meter.barCalls;
    }
    return meter;
}

KeySignature keyOf(const std::vector<Note>& notes) {
    // Probe-tone ratings of the twelve degrees of a major and a minor key.
    static constexpr std::array<double, 12> kMajor = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09,
                                                      2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
    static constexpr std::array<double, 12> kMinor = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53,
                                                      2.54, 4.75, 3.98, 2.69, 3.34, 3.17};
    std::array<double, 12> heard{};
    for (const Note& n : notes) {
        if (n.kind == NoteKind::Drum) continue;
        heard[n.key % 12] += static_cast<double>(n.last - n.first + 1);
    }
    KeySignature key;
    double total = 0;
    for (const double h : heard) total += h;
    if (total == 0) return key;
    const auto correlation = [&](const std::array<double, 12>& profile, int tonic) {
        double meanHeard = total / 12, meanProfile = 0;
        for (const double p : profile) meanProfile += p / 12;
        double sum = 0, heardSquares = 0, profileSquares = 0;
        for (int k = 0; k < 12; ++k) {
            const double h = heard[static_cast<size_t>((tonic + k) % 12)] - meanHeard;
            const double p = profile[static_cast<size_t>(k)] - meanProfile;
            sum += h * p;
            heardSquares += h * h;
            profileSquares += p * p;
        }
        return heardSquares == 0 ? 0 : sum / std::sqrt(heardSquares * profileSquares);
    };
    double best = -2;
    for (int tonic = 0; tonic < 12; ++tonic) {
        for (const bool minor : {false, true}) {
            const double r = correlation(minor ? kMinor : kMajor, tonic);
            if (r > best + 1e-12) {
                best = r;
                key.tonic = tonic;
                key.minor = minor;
            }
        }
    }
    key.found = true;
    // Sharps of the major key with the same notes (a minor key's relative
    // major is three semitones up), the spelling with fewer accidentals.
    static constexpr int kSharps[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    key.sharps = kSharps[(key.tonic + (key.minor ? 3 : 0)) % 12];
    return key;
}
