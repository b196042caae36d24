// The sound chip's voices as far as a read of the chip sees them: voice 3's
// oscillator ($D41B) and envelope ($D41C). The sound itself is not made.
//
// Each voice's oscillator is a 24-bit phase accumulator that adds the
// voice's frequency (registers 0-1) every cycle. Its test bit (control bit
// 3) resets the accumulator to 0 and holds it there, and fills the noise
// shift register with ones. Sync (control bit 1) resets the accumulator in
// the cycle in which the sync source's accumulator's top bit rises (voice
// 1's source is voice 3, voice 2's voice 1, voice 3's voice 2); ring
// modulation (control bit 2) inverts the triangle where the source's top
// bit is set. The noise generator is a 23-bit shift register (bit 0 gets
// bit 22 XOR bit 17) clocked in the cycle in which accumulator bit 19
// rises. The waveform's top 8 bits:
//   triangle: accumulator bits 22-15, inverted while the (ring-modulated)
//             top bit is set;
//   sawtooth: bits 23-16;
//   pulse:    $FF while the accumulator's top 12 bits are at or above the
//             pulse width (registers 2-3), or the test bit is set, else 0;
//   noise:    shift register bits 20, 18, 14, 11, 9, 5, 2, 0.
// Several waveforms at once give the AND of their values (the chip's
// combined waveforms are close to it but not equal, and noise combined with
// another waveform does not clear shift register bits here); no waveform
// gives 0.
//
// Voice 3's envelope: a 15-bit rate counter counts cycles up to the period
// of the current rate (attack: register $13's high nibble, decay its low
// nibble, release register $14's low nibble), then restarts at 0 and takes a
// rate step (a period lowered below the counter is reached after its wrap
// at 32768). Attack raises the level by one a step up to 255 and then
// decays; decay and release lower it by one every `divisor` steps (1 above
// 93, 2 down to 55, 4 down to 27, 8 down to 15, 16 down to 7, 30 below),
// decay down to the sustain level (register $14's high nibble times 17),
// release down to 0. The gate (control bit 0) turned on starts the attack,
// turned off the release.
//
// The model runs lazily: a register store or a read first brings it to its
// cycle, in jumps over whatever cannot change.
#pragma once

#include <cstdint>

struct SidEnvelope {
    uint8_t level;
    uint8_t phase;  // kAttack, kDecay or kRelease
    uint8_t exponent;
    uint16_t rateCounter;
};

struct SidVoices {
    uint8_t regs[32];
    uint32_t accumulator[3];
    uint32_t noise[3];
    SidEnvelope envelope;  // voice 3's
    uint64_t at;           // the cycle the model has run to
};

inline constexpr uint8_t kSidAttack = 0, kSidDecay = 1, kSidRelease = 2;

// All registers 0, accumulators 0, shift registers filled with ones, the
// envelope at 0 in release, at cycle `now`.
void sidVoicesReset(SidVoices& sid, uint64_t now);

// Runs the voices to cycle `now` (never backward).
void sidVoicesAdvance(SidVoices& sid, uint64_t now);

// A store into register `reg` (0-31) at `now`.
void sidVoicesWrite(SidVoices& sid, uint64_t now, uint8_t reg, uint8_t value);

// A read of register `reg` (0-31) at `now`: $19 and $1A (the paddles) $FF,
// $1B voice 3's waveform, $1C its envelope, the others 0.
uint8_t sidVoicesRead(SidVoices& sid, uint64_t now, uint8_t reg);

// Voice `voice`'s (0-2) waveform output's top 8 bits where the model is.
uint8_t sidVoicesWaveform(const SidVoices& sid, int voice);

// The envelope's rate period for a rate value 0-15, and the decay and
// release steps per level step at `level`.
uint32_t sidEnvelopePeriod(unsigned rate);
uint32_t sidEnvelopeDivisor(uint8_t level);
