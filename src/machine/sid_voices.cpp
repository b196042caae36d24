#include "machine/sid_voices.h"

#include <algorithm>

namespace {

constexpr uint32_t kAccumulatorMask = 0xFFFFFF;
constexpr uint32_t kTopBit = 0x800000;
constexpr uint32_t kNoiseMask = 0x7FFFFF;
constexpr uint8_t kGateBit = 0x01, kSyncBit = 0x02, kRingBit = 0x04, kTestBit = 0x08;
constexpr uint8_t kVoice3Control = 0x12, kVoice3AttackDecay = 0x13, kVoice3SustainRelease = 0x14;
constexpr uint8_t kFirstNonVoice = 0x15;

uint32_t frequency(const SidVoices& sid, int voice) {
    return sid.regs[7 * voice] | uint32_t{sid.regs[7 * voice + 1]} << 8;
}
uint8_t control(const SidVoices& sid, int voice) {
    return sid.regs[7 * voice + 4];
}
// The voice whose top bit syncs and ring-modulates `voice`.
int sourceOf(int voice) {
    return (voice + 2) % 3;
}

// The shift register clocked `times` times. Its sequence from all ones has
// the longest period of a 23-bit register, 2^23 - 1.
void clockNoise(uint32_t& noise, uint64_t times) {
    times %= kNoiseMask;
    uint32_t n = noise;
    for (uint64_t k = 0; k < times; ++k)
        n = ((n << 1) | (((n >> 22) ^ (n >> 17)) & 1)) & kNoiseMask;
    noise = n;
}

// Cycles until the voice's top bit next rises, 0 when it never does.
uint64_t cyclesToRise(const SidVoices& sid, int voice) {
    const uint32_t f = frequency(sid, voice);
    if (f == 0 || (control(sid, voice) & kTestBit)) return 0;
    uint32_t distance = (kTopBit - sid.accumulator[voice]) & kAccumulatorMask;
    if (distance == 0) distance = kAccumulatorMask + 1;
    return (distance + f - 1) / f;
}

void advanceOscillators(SidVoices& sid, uint64_t cycles) {
    while (cycles > 0) {
        // Up to the next cycle in which a sync resets a voice, at most.
        uint64_t rise[3];
        for (int v = 0; v < 3; ++v) rise[v] = cyclesToRise(sid, v);
        uint64_t step = cycles;
        for (int v = 0; v < 3; ++v) {
            if ((control(sid, v) & (kSyncBit | kTestBit)) != kSyncBit) continue;
            const uint64_t r = rise[sourceOf(v)];
            if (r != 0) step = std::min(step, r);
        }
        for (int v = 0; v < 3; ++v) {
            if (control(sid, v) & kTestBit) continue;  // held at 0
            const uint64_t from = sid.accumulator[v];
            const uint64_t to = from + frequency(sid, v) * step;
            // Bit 19 rises where the sum passes an odd multiple of 2^19.
            clockNoise(sid.noise[v], ((to + 0x80000) >> 20) - ((from + 0x80000) >> 20));
            sid.accumulator[v] = static_cast<uint32_t>(to & kAccumulatorMask);
        }
        for (int v = 0; v < 3; ++v) {
            if ((control(sid, v) & (kSyncBit | kTestBit)) != kSyncBit) continue;
            if (rise[sourceOf(v)] == step) sid.accumulator[v] = 0;
        }
        cycles -= step;
    }
}

unsigned currentRate(const SidVoices& sid) {
    switch (sid.envelope.phase) {
        case kSidAttack: return sid.regs[kVoice3AttackDecay] >> 4;
        case kSidDecay: return sid.regs[kVoice3AttackDecay] & 0x0F;
        default: return sid.regs[kVoice3SustainRelease] & 0x0F;
    }
}

// The level at which decay or release stops.
uint8_t floorOf(const SidVoices& sid) {
    const SidEnvelope& e = sid.envelope;
    if (e.phase == kSidRelease) return 0;
    const uint8_t sustain = static_cast<uint8_t>((sid.regs[kVoice3SustainRelease] >> 4) * 17);
    return e.level < sustain ? 0 : sustain;
}

void rateStep(SidVoices& sid) {
    SidEnvelope& e = sid.envelope;
    if (e.phase == kSidAttack) {
        e.exponent = 0;
        if (e.level != 255) ++e.level;
        if (e.level == 255) e.phase = kSidDecay;
        return;
    }
    if (++e.exponent < sidEnvelopeDivisor(e.level)) return;
    e.exponent = 0;
    if (e.level != floorOf(sid)) --e.level;
}

void advanceEnvelope(SidVoices& sid, uint64_t cycles) {
    SidEnvelope& e = sid.envelope;
    while (cycles > 0) {
        const uint32_t period = sidEnvelopePeriod(currentRate(sid));
        const uint32_t toStep =
            e.rateCounter < period ? period - e.rateCounter : 32768u - e.rateCounter + period;
        if (cycles < toStep) {
            e.rateCounter = static_cast<uint16_t>((e.rateCounter + cycles) & 0x7FFF);
            return;
        }
        cycles -= toStep;
        e.rateCounter = 0;
        rateStep(sid);
        if (e.phase != kSidAttack && e.level == floorOf(sid)) {
            // Nothing but the counters moves until the next store.
            const uint64_t steps = cycles / period;
            e.rateCounter = static_cast<uint16_t>(cycles % period);
            e.exponent = static_cast<uint8_t>((e.exponent + steps) % sidEnvelopeDivisor(e.level));
            return;
        }
    }
}

}  // namespace

uint32_t sidEnvelopePeriod(unsigned rate) {
    static constexpr uint32_t kPeriods[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                              392, 977, 1954, 3126, 3907, 11720, 19532, 31251};
    return kPeriods[rate & 15];
}

uint32_t sidEnvelopeDivisor(uint8_t level) {
    if (level > 93) return 1;
    if (level > 54) return 2;
    if (level > 26) return 4;
    if (level > 14) return 8;
    if (level > 6) return 16;
    return 30;
}

void sidVoicesReset(SidVoices& sid, uint64_t now) {
    sid = SidVoices{};
    for (uint32_t& n : sid.noise) n = kNoiseMask;
    sid.envelope.phase = kSidRelease;
    sid.at = now;
}

void sidVoicesAdvance(SidVoices& sid, uint64_t now) {
    if (now <= sid.at) return;
    const uint64_t cycles = now - sid.at;
    sid.at = now;
    advanceOscillators(sid, cycles);
    advanceEnvelope(sid, cycles);
}

void sidVoicesWrite(SidVoices& sid, uint64_t now, uint8_t reg, uint8_t value) {
    reg &= 0x1F;
    if (reg >= kFirstNonVoice) {
        sid.regs[reg] = value;
        return;
    }
    sidVoicesAdvance(sid, now);
    const uint8_t old = sid.regs[reg];
    sid.regs[reg] = value;
    if (reg % 7 != 4) return;
    const int voice = reg / 7;
    if (value & kTestBit) {
        sid.accumulator[voice] = 0;
        sid.noise[voice] = kNoiseMask;
    }
    if (reg == kVoice3Control) {
        if (!(old & kGateBit) && (value & kGateBit)) sid.envelope.phase = kSidAttack;
        if ((old & kGateBit) && !(value & kGateBit)) sid.envelope.phase = kSidRelease;
    }
}

uint8_t sidVoicesRead(SidVoices& sid, uint64_t now, uint8_t reg) {
    switch (reg & 0x1F) {
        case 0x19:
        case 0x1A: return 0xFF;
        case 0x1B: sidVoicesAdvance(sid, now); return sidVoicesWaveform(sid, 2);
        case 0x1C: sidVoicesAdvance(sid, now); return sid.envelope.level;
        default: return 0;
    }
}

uint8_t sidVoicesWaveform(const SidVoices& sid, int voice) {
    const uint8_t ctl = control(sid, voice);
    const uint32_t acc = sid.accumulator[voice];
    if (!(ctl & 0xF0)) return 0;
    uint32_t out = 0xFF;
    if (ctl & 0x10) {
        uint32_t top = acc & kTopBit;
        if (ctl & kRingBit) top ^= sid.accumulator[sourceOf(voice)] & kTopBit;
        out &= ((top ? ~acc : acc) >> 15) & 0xFF;
    }
    if (ctl & 0x20) out &= acc >> 16;
    if (ctl & 0x40) {
        const uint32_t width = sid.regs[7 * voice + 2] | (sid.regs[7 * voice + 3] & 0x0Fu) << 8;
        out &= (ctl & kTestBit) || (acc >> 12) >= width ? 0xFFu : 0u;
    }
    if (ctl & 0x80) {
        const uint32_t n = sid.noise[voice];
        out &= (n >> 13 & 0x80) | (n >> 12 & 0x40) | (n >> 9 & 0x20) | (n >> 7 & 0x10) |
               (n >> 6 & 0x08) | (n >> 3 & 0x04) | (n >> 1 & 0x02) | (n & 0x01);
    }
    return static_cast<uint8_t>(out);
}
