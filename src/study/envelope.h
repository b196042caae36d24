// The envelope generator of each voice, as the chip runs it, and whether a
// voice is heard and how loud.
//
// The cycle semantics, which a cycle-by-cycle model must match exactly:
//  - Each cycle a 15-bit rate counter advances by one (32767 wraps to 0);
//    when it then equals the period of the current rate it becomes 0 and the
//    envelope takes one rate step. A period p so gives a step every p cycles,
//    and a period lowered below the counter costs the run to 32767, the wrap
//    and the count up to the new period (up to 33 ms on PAL).
//  - The periods of the rate values 0 to 15, in cycles: 9, 32, 63, 95, 149,
//    220, 267, 313, 392, 977, 1954, 3126, 3907, 11720, 19532, 31251. Attack
//    takes register 5's high nibble, decay its low nibble, release register
//    6's low nibble; the period follows the register from the store on.
//  - Attack: each rate step restarts the exponential counter at 0 and raises
//    the level by one unless it is 255; when the level is then 255 the decay
//    begins.
//  - Decay and release: each rate step advances the exponential counter;
//    when it reaches the divisor of the current level (1 above 93, 2 at 93
//    and below, 4 at 54, 8 at 26, 16 at 14, 30 at 6 and below) it restarts
//    at 0 and the level falls by one, unless the level is at its floor: in
//    release 0, in decay the sustain level (register 6's high nibble times
//    17) or, for a level below the sustain level, 0.
//  - A gate turned on (bit 0 of register 4, from 0 to 1) starts the attack
//    from the current level; turned off, the release. A gate change leaves
//    the rate counter and the exponential counter as they are: a release
//    begun in decay counts on towards its next level step.
//  - At the start every level and counter is 0 and every voice in release.
//
// The model runs from event to event (stores that change a voice's control,
// attack/decay or sustain/release register or a chip's volume, the ends of
// the calls) with arithmetic jumps over what cannot change: how
// many rate steps fit, and how many level steps they make up to a divisor's
// edge, the phase's end or the next event. Its clock never goes backward: an
// event earlier than the last is taken at the last one's time.
//
// A voice is heard while a waveform can sound (a waveform bit set, the test
// bit clear), its chip's volume (register 24, low nibble) is not 0 and its
// level is at or above kHeardLevel; a voice heard at some moment of a call is
// heard in that call. How loud: the level times the volume / 15 (0 to 255),
// the highest of the values the envelope holds where the voice is heard,
// taken where a stretch of it begins and ends (an event of the voice, the
// end of the call): the level a listener hears held, not the few
// milliseconds at the top of a fast attack that decays at once.
#pragma once

#include <cstdint>

#include "study/chip.h"

// A quarter of the sustain of a full note's level is well audible; 16 of 255
// is -24 dB, below which a fading voice is lost under the others.
inline constexpr uint8_t kHeardLevel = 16;

// The rate counter's period for a rate value 0 to 15.
uint32_t envelopePeriod(unsigned rate);

// How many rate steps a level step takes in decay and release at `level`.
uint32_t envelopeDivisor(uint8_t level);

// The envelope generators of a run's chips.
class Envelopes {
public:
    // At the start: every voice at level 0, in release, counters at 0, the
    // clock at 0.
    Envelopes() = default;

    // A routine call begins: no voice heard or attacked in it yet.
    void beginCall();

    // A store into register `reg` (0 to 24) of chip `chip` at `cycle` (from the
    // start of the run); the voices run to it first.
    void store(uint64_t cycle, int chip, unsigned reg, uint8_t value);

    // The call ends at `cycle`: every voice of the `chips` runs to it.
    void endCall(uint64_t cycle, int chips);

    // The voice's level (0 to 255) where the model has run it to.
    uint8_t level(int voice) const { return voice_[voice].level; }

    // How loud the voice was heard in the call (1 to 255), 0 when it was not.
    uint8_t loudness(int voice) const { return voice_[voice].loudness; }

    // The voice's gate was turned on in the call.
    bool attacked(int voice) const { return voice_[voice].attacked; }

private:
    enum class Phase : uint8_t { Attack, Decay, Release };

    struct Voice {
        uint64_t at = 0;       // the cycle the voice has run to
        uint16_t counter = 0;  // the rate counter, 15 bits
        uint8_t level = 0;
        uint8_t exponent = 0;  // the exponential counter
        Phase phase = Phase::Release;
        uint8_t control = 0, attackDecay = 0, sustainRelease = 0;
        uint8_t loudness = 0;   // in this call; 0: not heard
        bool attacked = false;  // the gate turned on in this call
    };

    static uint32_t periodOf(const Voice& v);
    static void fall(Voice& v, uint64_t steps);
    static uint8_t runEnvelope(Voice& v, uint64_t cycles);
    void runTo(Voice& v, int chip, uint64_t cycle);

    Voice voice_[kMaxVoices];
    uint8_t volume_[kMaxChips] = {};  // register 24's low nibble
    uint64_t clock_ = 0;              // the latest event's cycle
};
