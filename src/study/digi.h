// Samples played through the master volume: a tune that writes the volume
// register many times within a call, each time another level, plays
// digitized sound (drums, voices) that no voice's notes show. For the song's
// length such a call is heard. What the samples play is not compared: their
// timing against the calls moves from pass to pass.
#pragma once

#include <cstdint>
#include <vector>

// Volume changes within a call that make it a call of samples.
inline constexpr uint32_t kDigiChanges = 8;

void digiReset();

// A store into a chip's register 24 (filter mode and volume).
void digiStore(int chip, uint8_t value);

// Routine call `call` has ended (calls in order).
void digiEndCall(uint32_t call);

// Per call: 1 when samples were played in it, else 0.
const std::vector<uint8_t>& digiCalls();
