#include "study/envelope.h"

#include <algorithm>

namespace {

constexpr uint32_t kPeriods[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                   392, 977, 1954, 3126, 3907, 11720, 19532, 31251};
constexpr uint32_t kCounterSpan = 0x8000;  // the rate counter's 15 bits

// The zones of decay and release, from the top: the lowest level of each,
// and the rate steps a level step takes in it.
struct Zone {
    uint8_t bottom;
    uint8_t divisor;
};
constexpr Zone kZones[] = {{94, 1}, {55, 2}, {27, 4}, {15, 8}, {7, 16}, {0, 30}};

const Zone& zoneOf(uint8_t level) {
    const Zone* zone = kZones;
    while (level < zone->bottom) ++zone;
    return *zone;
}

}  // namespace

uint32_t Envelopes::periodOf(const Voice& v) {
    switch (v.phase) {
        case Phase::Attack: return kPeriods[v.attackDecay >> 4];
        case Phase::Decay: return kPeriods[v.attackDecay & 0x0F];
        case Phase::Release: break;
    }
    return kPeriods[v.sustainRelease & 0x0F];
}

// `steps` rate steps of decay or release.
void Envelopes::fall(Voice& v, uint64_t steps) {
    uint8_t floor = 0;
    if (v.phase == Phase::Decay) {
        const auto sustain = static_cast<uint8_t>((v.sustainRelease >> 4) * 17);
        if (v.level >= sustain) floor = sustain;
    }
    while (steps > 0) {
        const uint32_t divisor = envelopeDivisor(v.level);
        if (v.level == floor) {
            v.exponent = static_cast<uint8_t>((v.exponent + steps) % divisor);
            return;
        }
        const uint32_t first = divisor - v.exponent;  // the steps to the next level step
        if (steps < first) {
            v.exponent = static_cast<uint8_t>(v.exponent + steps);
            return;
        }
        steps -= first;
        v.exponent = 0;
        --v.level;
        if (v.level == floor) continue;
        // Further level steps at the same divisor, down to the zone's edge
        // or the floor.
        const Zone& zone = zoneOf(v.level);
        const uint8_t lowest = std::max(zone.bottom, static_cast<uint8_t>(floor + 1));
        const uint64_t drops =
            std::min<uint64_t>(steps / zone.divisor, uint64_t{v.level} - lowest + 1);
        v.level = static_cast<uint8_t>(v.level - drops);
        steps -= drops * zone.divisor;
    }
}

// Runs the voice's envelope on by `cycles`; returns the highest level it
// had on the way (its level at the start included).
uint8_t Envelopes::runEnvelope(Voice& v, uint64_t cycles) {
    uint8_t peak = v.level;
    while (true) {
        const uint32_t period = periodOf(v);
        const uint32_t first =
            v.counter < period ? period - v.counter : kCounterSpan - v.counter + period;
        if (cycles < first) {
            v.counter = static_cast<uint16_t>((v.counter + cycles) % kCounterSpan);
            return peak;
        }
        cycles -= first;
        const uint64_t steps = 1 + cycles / period;
        const auto rest = static_cast<uint16_t>(cycles % period);
        if (v.phase != Phase::Attack) {
            fall(v, steps);
            v.counter = rest;
            return peak;
        }
        v.exponent = 0;
        const uint32_t toTop = v.level == 255 ? 1 : 255u - v.level;
        if (steps < toTop) {
            v.level = static_cast<uint8_t>(v.level + steps);
            v.counter = rest;
            return std::max(peak, v.level);
        }
        // The attack ends at its last step; the decay runs from there.
        cycles -= uint64_t{toTop - 1} * period;
        v.level = 255;
        peak = 255;
        v.phase = Phase::Decay;
        v.counter = 0;
    }
}

// Runs a voice of chip `chip` to `cycle`, taking note of how it is heard on
// the way.
void Envelopes::runTo(Voice& v, int chip, uint64_t cycle) {
    if (cycle <= v.at) return;
    const uint8_t start = v.level;
    const uint8_t peak = runEnvelope(v, cycle - v.at);
    v.at = cycle;
    const unsigned volume = volume_[chip];
    const bool canSound = (v.control & kWaveforms) && !(v.control & kTest);
    if (!canSound || volume == 0 || peak < kHeardLevel) return;
    const unsigned held = unsigned{std::max(start, v.level)} * volume / 15;
    v.loudness = std::max({v.loudness, static_cast<uint8_t>(held), uint8_t{1}});
}

uint32_t envelopePeriod(unsigned rate) {
    return kPeriods[rate & 0x0F];
}

uint32_t envelopeDivisor(uint8_t level) {
    return zoneOf(level).divisor;
}

void Envelopes::beginCall() {
    for (Voice& v : voice_) {
        v.loudness = 0;
        v.attacked = false;
    }
}

void Envelopes::store(uint64_t cycle, int chip, unsigned reg, uint8_t value) {
    cycle = std::max(cycle, clock_);
    clock_ = cycle;
    if (reg == 24) {
        if ((value & 0x0F) == volume_[chip]) return;
        for (int k = 0; k < kVoicesPerChip; ++k)
            runTo(voice_[chip * kVoicesPerChip + k], chip, cycle);
        volume_[chip] = value & 0x0F;
        return;
    }
    const unsigned which = reg / 7, field = reg % 7;
    if (which >= kVoicesPerChip || field < 4) return;
    Voice& v = voice_[chip * kVoicesPerChip + static_cast<int>(which)];
    // A register written with the value it holds changes nothing.
    const uint8_t held = field == 4 ? v.control : field == 5 ? v.attackDecay : v.sustainRelease;
    if (value == held) return;
    runTo(v, chip, cycle);
    if (field == 5) {
        v.attackDecay = value;
    } else if (field == 6) {
        v.sustainRelease = value;
    } else {
        if ((value & kGate) && !(v.control & kGate)) {
            v.phase = Phase::Attack;
            v.attacked = true;
        } else if (!(value & kGate) && (v.control & kGate)) {
            v.phase = Phase::Release;
        }
        v.control = value;
    }
}

void Envelopes::endCall(uint64_t cycle, int chips) {
    cycle = std::max(cycle, clock_);
    clock_ = cycle;
    for (int k = 0; k < chips * kVoicesPerChip; ++k) runTo(voice_[k], k / kVoicesPerChip, cycle);
}
