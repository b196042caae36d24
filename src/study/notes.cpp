#include "study/notes.h"

#include <algorithm>
#include <array>

#include "study/chords.h"
#include "study/pitch.h"
#include "study/pitched.h"

namespace {

// Calls not told of: the voice as after the call before, no new attack.
const std::vector<VoiceFrame>& padTo(std::vector<VoiceFrame>& frames, uint32_t calls) {
    if (frames.size() < calls) {
        VoiceFrame same = frames.empty() ? VoiceFrame{} : frames.back();
        same.attack = false;
        frames.resize(calls, same);
    }
    return frames;
}

// A span whose first or second call is noise is a drum hit when the pitch
// after the noise falls fast (kDrumFall a call or more, twice running: a
// tom's or a kick's tail) and does not cycle through a chord (an arpeggio
// that steps down), however long it then rings; otherwise unless the pitch
// after the noise soon holds a key (from one of the first 4 calls on, as
// pitched.h holds a key) or cycles through a chord: then the noise, and the
// calls before the held key, are the attack of a note.
// Two semitones, less what a register rounds a low pitch by.
constexpr int32_t kDrumFall = 1900;  // thousandths of a key

bool drumHit(const std::vector<int32_t>& tuned, const std::vector<int>& keys) {
    const bool noiseFirst = keys[0]<0, noiseSecond = keys.size()> 1 && keys[1] < 0;
    if (!noiseFirst && !noiseSecond) return false;
    const size_t after = noiseSecond ? 2 : 1;  // the first call after the noise
    constexpr size_t kAttack = 4;
    // Only a chord that repeats: a pitch that falls in steps is a drum table.
    const std::vector<ChordStretch> chords =
        chordStretches(keys.data() + after, keys.size() - after, false);
    const bool noChord = chords.empty() || chords.front().first >= kAttack;
    size_t falls = 0;
    for (size_t c = after; c + 1 < keys.size() && keys[c] >= 0 && keys[c + 1] >= 0; ++c) {
        if (tuned[c] - tuned[c + 1] < kDrumFall) break;
        if (++falls == 2) return noChord;
    }
    for (size_t start = after; start < after + kAttack && start + kHold <= keys.size(); ++start) {
        if (holdsFrom(tuned.data() + start, keys[start])) return false;
    }
    return noChord;
}

}  // namespace

NoteModel::CallSound NoteModel::soundOf(const VoiceFrame& frame, bool heard) {
    if (!heard) return {false, false, kNoPitch};
    const Pitch pitch = pitches_.of(frame.frequency, clock_);
    if (!pitch.named) return {false, false, kNoPitch};
    return {true, (frame.control & kNoise) != 0, pitch.milli};
}

// The offset that the held notes share: the peak of their offsets from the
// nearest key (in tenths of a cent, taken round), then the mean of those near
// it, when they are at least half of them (else 0). Held: a pitched call
// whose frequency is that of the call before.
int32_t NoteModel::tuningOf() const {
    std::array<uint32_t, 100> cents{};  // offsets from 0 to 999, by the cent
    std::vector<int32_t> offsets;
    for (int v = 0; v < voices_; ++v) {
        const std::vector<VoiceFrame>& frames = frames_[v];
        const std::vector<CallSound>& sounds = sounds_[v];
        for (size_t c = 1; c < frames.size(); ++c) {
            if (frames[c].frequency != frames[c - 1].frequency) continue;
            if (!sounds[c].sounds || sounds[c].noise) continue;
            const int32_t offset = (sounds[c].pitch % 1000 + 1000) % 1000;
            offsets.push_back(offset);
            ++cents[static_cast<size_t>(offset / 10)];
        }
    }
    if (offsets.empty()) return 0;
    // The peak of the offsets by the cent, each counted with its neighbours
    // within 5 cents.
    size_t peak = 0;
    uint32_t most = 0;
    for (size_t k = 0; k < 100; ++k) {
        uint32_t near = 0;
        for (size_t d = 0; d < 11; ++d) near += cents[(k + 95 + d) % 100];
        if (near > most) most = near, peak = k;
    }
    const int32_t centre = static_cast<int32_t>(peak) * 10 + 5;
    int64_t sum = 0, count = 0;
    for (const int32_t offset : offsets) {
        int32_t d = (offset - centre + 1500) % 1000 - 500;  // -500 to 499
        if (d < -60 || d > 60) continue;
        sum += centre + d;
        ++count;
    }
    // A tune whose held notes share no offset is taken as tuned to 440 Hz.
    if (count * 2 < static_cast<int64_t>(offsets.size())) return 0;
    int32_t tuning = static_cast<int32_t>((sum + count / 2) / count);
    if (tuning > 500) tuning -= 1000;
    return tuning;
}

void NoteModel::addNote(uint8_t voice, NoteKind kind, int key, uint32_t first, uint32_t last) {
    const std::vector<uint8_t>& loudness = loudness_[voice];
    const uint8_t peak = *std::max_element(loudness.begin() + first, loudness.begin() + last + 1);
    notes_.push_back({voice, kind, static_cast<uint8_t>(key), peak, first, last,
                      static_cast<uint32_t>(bends_.size()), last});
}

// The pitched notes of `count` calls from `first`, whose pitches less the
// tuning are `tuned`.
void NoteModel::addPitched(uint8_t voice, uint32_t first, const int32_t* tuned, size_t count) {
    for (const PitchedNote& note : fit_.notes(tuned, count)) {
        addNote(voice, NoteKind::Pitched, note.key, first + note.first, first + note.last);
        // A call without a pitch keeps the bend of the call before; those
        // before the first pitch take its bend.
        const size_t start = bends_.size();
        int32_t bend = kNoPitch;
        for (uint32_t c = note.first; c <= note.last; ++c) {
            if (tuned[c] != kNoPitch) bend = tuned[c] + tuning_ - note.key * 1000;
            bends_.push_back(bend);
        }
        const auto known = std::find_if(bends_.begin() + static_cast<std::ptrdiff_t>(start),
                                        bends_.end(), [](int32_t b) { return b != kNoPitch; });
        std::fill(bends_.begin() + static_cast<std::ptrdiff_t>(start), known,
                  known == bends_.end() ? 0 : *known);
    }
}

// The notes of the span [first, last] of a voice.
void NoteModel::addSpan(uint8_t voice, uint32_t first, uint32_t last) {
    const std::vector<CallSound>& sounds = sounds_[voice];
    std::vector<int32_t>& tuned = tuned_;
    std::vector<int>& keys = keys_;
    tuned.clear();
    keys.clear();
    for (uint32_t c = first; c <= last; ++c) {
        const CallSound& s = sounds[c];
        tuned.push_back(s.noise ? kNoPitch : s.pitch - tuning_);
        keys.push_back(s.noise ? -1 : nearestKey(tuned.back()));
    }
    if (drumHit(tuned, keys)) {
        addNote(voice, NoteKind::Drum, 0, first, last);
        return;
    }
    std::vector<ChordStretch> chords = chordStretches(keys.data(), keys.size(), true);
    // A few calls between the span's edges or chords belong to the chord
    // next to them (the one before, at the start the one after).
    constexpr uint32_t kFew = 3;
    uint32_t free = 0;  // the first call not in a chord, within the span
    for (size_t k = 0; k < chords.size(); ++k) {
        ChordStretch& chord = chords[k];
        if (chord.first > free && chord.first - free <= kFew) {
            if (k > 0 && chords[k - 1].last + 1 == free) {
                chords[k - 1].last = chord.first - 1;
            } else {
                chord.first = free;
            }
        }
        free = chord.last + 1;
    }
    const uint32_t count = last - first + 1;
    if (!chords.empty() && count - free <= kFew) chords.back().last = count - 1;
    free = 0;
    for (const ChordStretch& chord : chords) {
        if (chord.first > free)
            addPitched(voice, first + free, tuned.data() + free, chord.first - free);
        for (int k = 0; k < chord.keyCount; ++k)
            addNote(voice, NoteKind::Chord, chord.keys[k], first + chord.first, first + chord.last);
        free = chord.last + 1;
    }
    if (free < count) addPitched(voice, first + free, tuned.data() + free, count - free);
}

// Counted over the calls of the voice's pitched notes and chords (a chord's
// calls once).
uint8_t NoteModel::mostUsedWaveform(int voice) const {
    uint32_t counts[3] = {};  // triangle, sawtooth, pulse
    uint32_t counted = 0;     // the calls counted already, for chords
    for (const Note& n : notes_) {
        if (n.voice != voice || n.kind == NoteKind::Drum) continue;
        for (uint32_t c = std::max(n.first, counted); c <= n.last; ++c) {
            const uint8_t control = frames_[voice][c].control;
            for (int w = 0; w < 3; ++w) counts[w] += static_cast<uint32_t>(control >> (4 + w)) & 1;
        }
        counted = std::max(counted, n.last + 1);
    }
    const uint8_t kWaves[3] = {kTriangle, kSawtooth, kPulse};
    int most = 2;  // pulse on a tie
    for (int w = 0; w < 3; ++w)
        if (counts[w] > counts[most]) most = w;
    return kWaves[most];
}

NoteModel::NoteModel(uint32_t clock, int voices) : clock_(clock), voices_(voices) {
    std::fill(std::begin(waveform_), std::end(waveform_), kPulse);
}

uint32_t NoteModel::entryOf(uint32_t call) {
    while (thinning_.thinFor(call)) {
        for (int v = 0; v < voices_; ++v) {
            // An entry of two calls: the registers after the later, a new
            // attack in either; heard as loud as the louder.
            thinPairs(frames_[v], [](const VoiceFrame& a, const VoiceFrame& b) {
                return VoiceFrame{b.frequency, b.control, a.attack || b.attack};
            });
            thinPairs(loudness_[v], [](uint8_t a, uint8_t b) { return std::max(a, b); });
        }
    }
    return thinning_.index(call);
}

void NoteModel::afterCall(uint32_t call, int voice, const VoiceFrame& frame) {
    const uint32_t entry = entryOf(call);
    std::vector<VoiceFrame>& frames = frames_[voice];
    padTo(frames, entry);
    if (frames.size() > entry) {  // the entry's later call
        const bool attack = frames[entry].attack || frame.attack;
        frames[entry] = frame;
        frames[entry].attack = attack;
        return;
    }
    frames.push_back(frame);
}

void NoteModel::hearing(uint32_t call, int voice, uint8_t loudness) {
    const uint32_t entry = entryOf(call);
    std::vector<uint8_t>& calls = loudness_[voice];
    if (calls.size() > entry) {
        calls[entry] = std::max(calls[entry], loudness);
        return;
    }
    calls.resize(entry, 0);
    calls.push_back(loudness);
}

void NoteModel::finish(uint32_t lastCallOfRun) {
    // Made in entries, then told in calls.
    const uint32_t lastCall = thinning_.index(lastCallOfRun);
    lastCall_ = lastCall;
    notes_.clear();
    bends_.clear();
    onsets_.clear();
    for (int v = 0; v < voices_; ++v) {
        const std::vector<VoiceFrame>& frames = padTo(frames_[v], lastCall + 1);
        std::vector<uint8_t>& loudness = loudness_[v];
        loudness.resize(lastCall + 1, 0);
        std::vector<CallSound>& sounds = sounds_[v];
        sounds.resize(frames.size());
        for (size_t c = 0; c < frames.size(); ++c) {
            const bool heard = loudness[c] != 0;
            const bool same = c > 0 && frames[c].frequency == frames[c - 1].frequency &&
                              frames[c].control == frames[c - 1].control &&
                              heard == (loudness[c - 1] != 0);
            sounds[c] = same ? sounds[c - 1] : soundOf(frames[c], heard);
        }
    }
    tuning_ = tuningOf();
    for (int v = 0; v < voices_; ++v) {
        const std::vector<VoiceFrame>& frames = frames_[v];
        const std::vector<CallSound>& sounds = sounds_[v];
        uint32_t start = 0;
        for (uint32_t c = 0; c <= lastCall; ++c) {
            if (!sounds[c].sounds) continue;
            const bool begins = c == 0 || !sounds[c - 1].sounds || frames[c].attack;
            if (begins) start = c;
            const bool ends = c == lastCall || !sounds[c + 1].sounds || frames[c + 1].attack;
            if (!ends) continue;
            addSpan(static_cast<uint8_t>(v), start, c);
            onsets_.push_back(start);
        }
        waveform_[v] = mostUsedWaveform(v);
    }
    std::stable_sort(notes_.begin(), notes_.end(), [](const Note& a, const Note& b) {
        if (a.first != b.first) return a.first < b.first;
        if (a.voice != b.voice) return a.voice < b.voice;
        return a.key < b.key;
    });
    std::sort(onsets_.begin(), onsets_.end());
    onsets_.erase(std::unique(onsets_.begin(), onsets_.end()), onsets_.end());
    lastCall_ = lastCallOfRun;
    if (thinning_.shift() == 0) return;
    for (Note& n : notes_) {
        n.first = thinning_.firstCall(n.first);
        n.last = std::min(thinning_.lastCall(n.last), lastCallOfRun);
        n.end = n.last;
    }
    for (uint32_t& onset : onsets_) onset = thinning_.firstCall(onset);
}

void NoteModel::holdToRows(uint32_t row) {
    for (size_t k = 0; k < notes_.size(); ++k) {
        Note& n = notes_[k];
        n.end = n.last;
        if (row == 0) continue;
        uint32_t end = n.first + (n.last - n.first + row) / row * row - 1;
        end = std::min(end, lastCall_);
        for (size_t j = k + 1; j < notes_.size(); ++j) {
            const Note& next = notes_[j];
            if (next.voice != n.voice || next.first == n.first) continue;
            end = std::min(end, next.first - 1);
            break;
        }
        n.end = std::max(n.last, end);
    }
}

uint8_t NoteModel::loudness(int voice, uint32_t call) const {
    const std::vector<uint8_t>& loudness = loudness_[voice];
    // An entry's last calls may be past the run's.
    if (thinning_.shift() != 0 && call > lastCall_) return 0;
    const uint32_t entry = thinning_.index(call);
    return entry < loudness.size() ? loudness[entry] : 0;
}
