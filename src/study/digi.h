// Samples played through the master volume: a tune that writes the volume
// register many times within a call, each time another level, plays
// digitized sound (drums, voices) that no voice's notes show. For the song's
// length such a call is heard. What the samples play is not compared: their
// timing against the calls moves from pass to pass.
#pragma once

#include <cstdint>
#include <vector>

#include "study/chip.h"
#include "study/thinning.h"

// Volume changes within a call that make it a call of samples.
inline constexpr uint32_t kDigiChanges = 8;

// The calls of a run that played samples.
class Digi {
public:
    // A store into a chip's register 24 (filter mode and volume).
    void store(int chip, uint8_t value);

    // Routine call `call` has ended (calls in order).
    void endCall(uint32_t call);

    // Keeps at most `most` entries (thinning.h), each then 1 when samples were
    // played in one of its calls. Before the first call.
    void bound(uint32_t most) { thinning_ = CallThinning(most); }

    // Per call (per entry of 1, 2, 4... calls when bounded): 1 when samples
    // were played in it, else 0.
    const std::vector<uint8_t>& calls() const { return calls_; }

private:
    uint8_t volume_[kMaxChips] = {};  // the level each chip's register holds now
    uint32_t changes_ = 0;            // in the running call
    std::vector<uint8_t> calls_;
    CallThinning thinning_;
};
