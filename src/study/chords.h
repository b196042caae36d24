// Arpeggios: a chord played as fast steps, one key after another, each held
// a call or two, cycling. Within a sounding span of a voice, a stretch whose
// keys repeat with a period of 2 to 8 calls, over at least 6 calls and at
// least one period and two calls more, is a chord of the 2 to 4 keys of one
// period, when no key of it is held more than 2 calls and its keys are not
// all neighbours (a vibrato across a key's edge also repeats, but between
// neighbouring keys). A whole span of at least 4 calls, too short to show its
// period, is a chord when it steps so through 2 to 4 such keys in at least
// three steps, its last key perhaps ringing on longer (in the release).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ChordStretch {
    uint32_t first, last;  // positions in the span
    int keys[4];           // in ascending order
    int keyCount;
};

// `keys`: the key of each call of a span, -1 for a call without a pitched
// sound; `whole`: the keys are a whole span (a part of one shows no chord by
// its steps alone). The stretches come in order and do not overlap.
std::vector<ChordStretch> chordStretches(const int* keys, size_t count, bool whole);
