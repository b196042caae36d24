#include "length/loop.h"

#include <algorithm>

namespace {

uint64_t mix(uint64_t x) {
    x ^= x >> 31;
    x *= 0x7FB5D329728EA185ull;
    x ^= x >> 27;
    x *= 0x81DADEF4BC2DD44Dull;
    return x ^ (x >> 33);
}

// What samples played through the volume register sound in a call.
constexpr uint64_t kSamplesCode = 0x5A3C96E1D2B4870Full;

// What a note sounds in a call, whatever else its voice sounds.
uint64_t noteCode(const Note& n) {
    const uint64_t kind = n.kind == NoteKind::Drum ? 2 : n.kind == NoteKind::Chord ? 1 : 0;
    return mix((uint64_t{n.voice} << 16 | kind << 8 | (n.kind == NoteKind::Drum ? 0 : n.key)) + 1);
}

class Compare {
public:
    explicit Compare(const MusicCalls& music) : m_(music), last_(music.sounds.size() - 1) {}

    // Calls a and b sound the same (b may be past a's end by the caller's
    // choice of what b stands for).
    bool same(size_t a, size_t b) const {
        if (m_.sounds[a] != m_.sounds[b]) return false;
        const uint16_t x = m_.onsets[a], y = m_.onsets[b];
        if (x == y) return true;
        return (x & ~near(b)) == 0 && (y & ~near(a)) == 0;
    }

    // Calls a and b sound the same in every part but one at most, and alike
    // in one heard part at least.
    bool sameButOnePart(size_t a, size_t b) const {
        if (same(a, b)) return true;
        const uint16_t x = m_.onsets[a], y = m_.onsets[b];
        const uint16_t late = static_cast<uint16_t>((x & ~near(b)) | (y & ~near(a)));
        size_t differing = 0, heardAlike = 0;
        for (size_t part = 0; part < kMusicParts; ++part) {
            bool differs = m_.parts[a][part] != m_.parts[b][part];
            for (uint8_t v = 0; v < 9 && !differs; ++v)
                differs = musicPart(v) == part && (late >> v & 1) != 0;
            differing += differs ? 1u : 0u;
            heardAlike += !differs && m_.parts[a][part] != 0 ? 1u : 0u;
        }
        return differing <= 1 && heardAlike >= 1;
    }

private:
    uint16_t near(size_t c) const {
        uint16_t around = m_.onsets[c];
        if (c > 0) around |= m_.onsets[c - 1];
        if (c < last_) around |= m_.onsets[c + 1];
        return around;
    }

    const MusicCalls& m_;
    size_t last_;
};

uint32_t tolerance(uint32_t calls, double share = kMismatchShare) {
    return static_cast<uint32_t>(share * calls);
}

// The earliest start from which calls c and c + period sound the same in
// every stretch of `period` calls but for the tolerance, given that they do
// from `from` on; `differs(c)` says whether c and c + period differ. Then
// moved on past differing calls, to where a run of them agrees.
template <typename Differs>
uint32_t earliestStart(uint32_t from, uint32_t period, Differs differs,
                       double share = kMismatchShare) {
    const uint32_t allowed = tolerance(period, share);
    // Walking back, the stretch [c, c + period) holds `inStretch` differences;
    // the ring holds them by c mod period, so the slot of c held c + period's.
    std::vector<uint8_t> ring(period, 0);
    uint32_t inStretch = 0;
    uint32_t start = from;
    for (uint32_t c = from; c-- > 0;) {
        const uint8_t d = differs(c) ? 1 : 0;
        uint8_t& slot = ring[c % period];
        inStretch = inStretch - slot + d;
        slot = d;
        if (inStretch > allowed) break;
        start = c;
    }
    // The first pass begins where the calls start to agree.
    constexpr uint32_t kRun = 16;
    for (uint32_t s = start; s < from; ++s) {
        uint32_t run = 0;
        while (run < kRun && s + run < from && !differs(s + run)) ++run;
        if (run == kRun || s + run == from) return s;
    }
    return from;
}

}  // namespace

MusicCalls musicCalls(const std::vector<Note>& notes, uint32_t lastCallOfRun,
                      const std::vector<uint8_t>& samples, uint8_t shift) {
    MusicCalls music;
    music.shift = shift;
    const uint32_t lastCall = lastCallOfRun >> shift;
    music.sounds.assign(size_t{lastCall} + 1, 0);
    music.onsets.assign(size_t{lastCall} + 1, 0);
    music.parts.assign(size_t{lastCall} + 1, PartSounds{});
    for (size_t c = 0; c < samples.size() && c <= lastCall; ++c) {
        if (samples[c] == 0) continue;
        music.sounds[c] += kSamplesCode;
        music.parts[c][kMusicParts - 1] = 1;
    }
    for (const Note& n : notes) {
        const uint32_t first = n.first >> shift;
        if (first > lastCall) continue;
        const uint64_t code = noteCode(n);
        const uint32_t last = std::min(n.last >> shift, lastCall);
        const size_t part = musicPart(n.voice);
        const auto partCode = static_cast<uint16_t>(code >> 48);
        for (uint32_t c = first; c <= last; ++c) {
            music.sounds[c] += code;
            music.parts[c][part] = static_cast<uint16_t>(music.parts[c][part] + partCode);
        }
        music.onsets[first] = static_cast<uint16_t>(music.onsets[first] | 1u << n.voice);
    }
    return music;
}

MusicLoop loopByParts(const MusicCalls& music, const LoopRules& rules) {
    const size_t calls = music.sounds.size();
    MusicLoop last{0, 0};
    size_t looping = 0;
    for (size_t part = 0; part + 1 < kMusicParts; ++part) {
        uint16_t voices = 0;
        for (uint8_t v = 0; v < 9; ++v)
            if (musicPart(v) == part) voices = static_cast<uint16_t>(voices | 1u << v);
        MusicCalls alone;
        alone.sounds.resize(calls);
        alone.onsets.resize(calls);
        bool heard = false;
        for (size_t c = 0; c < calls; ++c) {
            alone.sounds[c] = music.parts[c][part];
            alone.onsets[c] = music.onsets[c] & voices;
            heard = heard || alone.onsets[c] != 0;
        }
        if (!heard) continue;
        const MusicLoop loop = loopInMusic(alone, rules);
        if (loop.period == 0) return {0, 0};
        ++looping;
        if (uint64_t{loop.start} + loop.period > uint64_t{last.start} + last.period) last = loop;
    }
    return looping >= 2 ? last : MusicLoop{0, 0};
}

bool heldWithoutNotes(const MusicCalls& music, uint32_t from, uint32_t to) {
    if (to >= music.sounds.size() || from > to) return false;
    bool heard = false;
    for (uint32_t c = from; c <= to; ++c) {
        if (music.onsets[c] != 0) return false;
        heard = heard || music.sounds[c] != 0;
    }
    return heard;
}

bool lastHeard(const MusicCalls& music, uint32_t& call) {
    for (size_t c = music.sounds.size(); c-- > 0;) {
        if (music.sounds[c] != 0) {
            call = static_cast<uint32_t>(c);
            return true;
        }
    }
    return false;
}

MusicLoop loopInState(const MusicCalls& music, uint32_t i, uint32_t j, uint32_t shortest) {
    const uint32_t d = j - i;
    if (j >= music.sounds.size()) return {0, 0};
    uint32_t heard = 0;
    for (uint32_t c = i + 1; c <= j; ++c) heard += music.sounds[c] != 0 ? 1u : 0u;
    if (heard == 0) return {0, 0};
    const Compare compare(music);
    // Call c stands for c - d past j: the state repeats.
    const auto at = [&](uint32_t c) { return c > j ? c - d : c; };
    for (uint32_t p = std::min(shortest, d); p <= d; ++p) {
        if (d % p != 0) continue;
        uint32_t differing = 0;
        // Of the calls in which something is heard: silence agrees with
        // silence whatever the period.
        const uint32_t allowed = tolerance(heard);
        for (uint32_t c = i + 1; c <= j && differing <= allowed; ++c)
            differing += compare.same(c, at(c + p)) ? 0u : 1u;
        if (differing > allowed) continue;
        const uint32_t start = earliestStart(
            i + 1, p, [&](uint32_t c) { return !compare.sameButOnePart(c, at(c + p)); });
        return {std::min(start, i + 1), p};
    }
    return {0, 0};
}

MusicLoop loopInMusic(const MusicCalls& music, const LoopRules& rules) {
    const uint32_t passes = rules.passes;
    const size_t calls = music.sounds.size();
    constexpr size_t kBlock = 32;
    if (calls < 4 * kBlock) return {0, 0};
    // A hash of the K calls from each call on.
    const auto value = [&music](size_t c) { return mix(music.sounds[c] * 31 + music.onsets[c]); };
    constexpr uint64_t kBase = 0x100000001B3ull;
    uint64_t top = 1;  // kBase^(K-1)
    for (size_t k = 1; k < kBlock; ++k) top *= kBase;
    std::vector<uint64_t> block(calls - kBlock + 1);
    uint64_t h = 0;
    for (size_t c = 0; c < kBlock; ++c) h = h * kBase + value(c);
    block[0] = h;
    for (size_t c = 1; c < block.size(); ++c) {
        h = (h - value(c - 1) * top) * kBase + value(c + kBlock - 1);
        block[c] = h;
    }
    // Distances back to where the last blocks were heard before: the
    // candidates for the period.
    std::vector<uint32_t> distances;
    const size_t lastBlock = block.size() - 1;
    for (size_t anchorStep = 0; anchorStep < 4; ++anchorStep) {
        const size_t anchor = lastBlock - anchorStep * kBlock / 2;
        for (size_t c = 0; c < anchor; ++c) {
            if (block[c] == block[anchor]) distances.push_back(static_cast<uint32_t>(anchor - c));
        }
    }
    std::sort(distances.begin(), distances.end());
    distances.erase(std::unique(distances.begin(), distances.end()), distances.end());

    const Compare compare(music);
    const uint32_t last = static_cast<uint32_t>(calls - 1);
    size_t tried = 0;
    for (const uint32_t p : distances) {
        if (p < rules.shortest) continue;
        if (uint64_t{p} * (passes + 1) > calls) break;
        if (++tried > 400) break;
        const uint32_t from = last - p + 1;  // the first call without a call p later
        const uint32_t start = earliestStart(
            from, p, [&](uint32_t c) { return !compare.same(c, c + p); }, rules.share);
        if (uint64_t{last} + 1 - start < uint64_t{p} * (passes + 1)) continue;
        if (uint64_t{last} + 1 - start < rules.span) continue;
        if (rules.introPercent > 0 && start > uint64_t{p} * rules.introPercent / 100) continue;
        // A pass of music: a note begins in it (a held sound, or samples
        // alone, repeat with any period).
        bool begins = false;
        for (uint32_t c = start; c < start + p && !begins; ++c) begins = music.onsets[c] != 0;
        if (begins) return {start, p};
    }
    return {0, 0};
}
