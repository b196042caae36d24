// Voice 3 read back: worked examples of the waveforms and the envelope, the
// lazy model against a plain cycle-by-cycle one on random register streams
// (phase, noise, sync, ring, test), and the reads through the machine.
#include <gtest/gtest.h>

#include <random>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "machine/machine.h"
#include "machine/machine_state.h"
#include "machine/sid_voices.h"
#include "support/test_support.h"

namespace {

// The chip clocked one cycle at a time, as it runs.
struct CycleModel {
    uint8_t regs[32] = {};
    uint32_t acc[3] = {};
    uint32_t noise[3] = {0x7FFFFF, 0x7FFFFF, 0x7FFFFF};
    int level = 0, phase = kSidRelease, exponent = 0, rateCounter = 0;

    void write(uint8_t reg, uint8_t value) {
        const uint8_t old = regs[reg];
        regs[reg] = value;
        if (reg % 7 == 4 && reg < 21 && (value & 8)) {
            acc[reg / 7] = 0;
            noise[reg / 7] = 0x7FFFFF;
        }
        if (reg == 0x12 && !(old & 1) && (value & 1)) phase = kSidAttack;
        if (reg == 0x12 && (old & 1) && !(value & 1)) phase = kSidRelease;
    }

    void cycle() {
        bool rose[3] = {};
        for (int v = 0; v < 3; ++v) {
            const uint8_t ctl = regs[7 * v + 4];
            if (ctl & 8) {
                acc[v] = 0;
                noise[v] = 0x7FFFFF;
                continue;
            }
            const uint32_t before = acc[v];
            acc[v] = (acc[v] + (uint32_t{regs[7 * v]} | uint32_t{regs[7 * v + 1]} << 8)) & 0xFFFFFF;
            if (!(before & 0x80000) && (acc[v] & 0x80000)) {
                const uint32_t bit = ((noise[v] >> 22) ^ (noise[v] >> 17)) & 1;
                noise[v] = ((noise[v] << 1) | bit) & 0x7FFFFF;
            }
            rose[v] = !(before & 0x800000) && (acc[v] & 0x800000);
        }
        for (int v = 0; v < 3; ++v) {
            const uint8_t ctl = regs[7 * v + 4];
            if ((ctl & 2) && !(ctl & 8) && rose[(v + 2) % 3]) acc[v] = 0;
        }
        const unsigned rate = phase == kSidAttack  ? regs[0x13] >> 4
                              : phase == kSidDecay ? regs[0x13] & 15
                                                   : regs[0x14] & 15;
        rateCounter = (rateCounter + 1) & 0x7FFF;
        if (rateCounter != static_cast<int>(sidEnvelopePeriod(rate))) return;
        rateCounter = 0;
        if (phase == kSidAttack) {
            exponent = 0;
            if (level < 255) ++level;
            if (level == 255) phase = kSidDecay;
            return;
        }
        if (++exponent < static_cast<int>(sidEnvelopeDivisor(static_cast<uint8_t>(level)))) return;
        exponent = 0;
        const int sustain = (regs[0x14] >> 4) * 17;
        const int floor = phase == kSidRelease ? 0 : (level < sustain ? 0 : sustain);
        if (level != floor) --level;
    }
};

SidVoices fresh() {
    SidVoices sid;
    sidVoicesReset(sid, 0);
    return sid;
}

struct WaveCase {
    const char* name;
    uint16_t frequency, width;
    uint8_t control;
    uint64_t at;
    uint8_t expected;
};

// clang-format off
const WaveCase kWaves[] = {
    // $1000 a cycle: 1000 cycles make $3E8000, 3000 make $BB8000.
    {"sawtooth",                 0x1000, 0x000, 0x20, 1000, 0x3E},
    {"triangle rising",          0x1000, 0x000, 0x10, 1000, 0x7D},
    {"triangle falling",         0x1000, 0x000, 0x10, 3000, 0x88},
    {"pulse below the width",    0x1000, 0x800, 0x40, 1000, 0x00},
    {"pulse at the width",       0x1000, 0x3E8, 0x40, 1000, 0xFF},
    {"pulse above the width",    0x1000, 0x800, 0x40, 3000, 0xFF},
    {"saw AND triangle",         0x1000, 0x000, 0x30, 3000, 0xBB & 0x88},
    {"saw AND pulse low",        0x1000, 0x800, 0x60, 1000, 0x00},
    {"no waveform",              0x1000, 0x000, 0x00, 1000, 0x00},
    {"test holds the pulse up",  0x1000, 0xFFF, 0x48, 1000, 0xFF},
    {"test holds the saw at 0",  0x1000, 0x000, 0x28, 1000, 0x00},
    // $8000 a cycle: bit 19 rises in cycle 16; the first clock shifts a 0 in.
    {"noise before its clock",   0x8000, 0x000, 0x80, 15, 0xFF},
    {"noise after one clock",    0x8000, 0x000, 0x80, 16, 0xFE},
    {"noise after two clocks",   0x8000, 0x000, 0x80, 48, 0xFE},
    {"noise after three clocks", 0x8000, 0x000, 0x80, 80, 0xFC},
};
// clang-format on

TEST(SidVoices, WaveformsWorkedExamples) {
    for (const WaveCase& c : kWaves) {
        SCOPED_TRACE(c.name);
        SidVoices sid = fresh();
        sidVoicesWrite(sid, 0, 0x0E, static_cast<uint8_t>(c.frequency));
        sidVoicesWrite(sid, 0, 0x0F, static_cast<uint8_t>(c.frequency >> 8));
        sidVoicesWrite(sid, 0, 0x10, static_cast<uint8_t>(c.width));
        sidVoicesWrite(sid, 0, 0x11, static_cast<uint8_t>(c.width >> 8));
        sidVoicesWrite(sid, 0, 0x12, c.control);
        EXPECT_EQ(sidVoicesRead(sid, c.at, 0x1B), c.expected);
    }
}

TEST(SidVoices, RingModulationInvertsTheTriangleWithTheSourcesTopBit) {
    // Voice 2 runs at $8000 and passes $800000 in cycle 256; voice 3's
    // triangle at $1000 reads $7D at cycle 1000 alone, $82 inverted.
    SidVoices sid = fresh();
    sidVoicesWrite(sid, 0, 0x07, 0x00);
    sidVoicesWrite(sid, 0, 0x08, 0x80);
    sidVoicesWrite(sid, 0, 0x0F, 0x10);
    sidVoicesWrite(sid, 0, 0x12, 0x14);
    EXPECT_EQ(sidVoicesRead(sid, 200, 0x1B), 0x19);   // $0C8000; voice 2's top bit clear
    EXPECT_EQ(sidVoicesRead(sid, 1000, 0x1B), 0x82);  // $3E8000; voice 2 at $F40000
}

TEST(SidVoices, SyncResetsWhenTheSourcesTopBitRises) {
    // Voice 2 at $4000 rises at cycle 512; voice 3 at $0100, synced to it,
    // is reset there and has counted 88 cycles by cycle 600.
    SidVoices sid = fresh();
    sidVoicesWrite(sid, 0, 0x08, 0x40);
    sidVoicesWrite(sid, 0, 0x0F, 0x01);
    sidVoicesWrite(sid, 0, 0x12, 0x22);
    sidVoicesAdvance(sid, 511);
    EXPECT_EQ(sid.accumulator[2], 511u * 0x100);
    sidVoicesAdvance(sid, 512);
    EXPECT_EQ(sid.accumulator[2], 0u);
    sidVoicesAdvance(sid, 600);
    EXPECT_EQ(sid.accumulator[2], 88u * 0x100);
}

TEST(SidVoices, EnvelopeWorkedExamples) {
    SidVoices sid = fresh();
    sidVoicesWrite(sid, 0, 0x13, 0x00);  // attack 9 cycles a step, decay 9
    sidVoicesWrite(sid, 0, 0x14, 0x80);  // sustain $88
    sidVoicesWrite(sid, 0, 0x12, 0x01);
    EXPECT_EQ(sidVoicesRead(sid, 900, 0x1C), 100);
    EXPECT_EQ(sidVoicesRead(sid, 255 * 9, 0x1C), 255);
    // Decay one level a step above 93: down to the sustain level, held.
    EXPECT_EQ(sidVoicesRead(sid, 255 * 9 + 10 * 9, 0x1C), 245);
    EXPECT_EQ(sidVoicesRead(sid, 1000000, 0x1C), 0x88);
    // Release at 9 cycles a step, two steps a level from 93 down.
    sidVoicesWrite(sid, 1000000, 0x12, 0x00);
    EXPECT_LT(sidVoicesRead(sid, 1000000 + 9 * 50, 0x1C), 0x88);
    EXPECT_EQ(sidVoicesRead(sid, 2000000, 0x1C), 0);
    EXPECT_EQ(sidVoicesRead(sid, 2000000, 0x19), 0xFF);
    EXPECT_EQ(sidVoicesRead(sid, 2000000, 0x1A), 0xFF);
    EXPECT_EQ(sidVoicesRead(sid, 2000000, 0x18), 0x00);
}

// A register stream that exercises what the model jumps over: frequencies
// high and low, the sync, ring and test bits, gates, fast and slow rates.
uint8_t randomValue(std::mt19937& random, uint8_t reg) {
    const auto r = static_cast<unsigned>(random());
    if (reg % 7 == 4 && reg < 21) {
        // Mostly without the test bit, so that the oscillators run.
        const uint8_t waves[] = {0x10, 0x20, 0x40, 0x80, 0x30, 0x50};
        uint8_t ctl = waves[r % 6];
        if ((r >> 4) & 1) ctl |= 0x01;
        if ((r >> 5) % 3 == 0) ctl |= 0x02;
        if ((r >> 7) % 3 == 0) ctl |= 0x04;
        if ((r >> 9) % 9 == 0) ctl |= 0x08;
        return ctl;
    }
    if (reg == 0x13 || reg == 0x14) return static_cast<uint8_t>(r & 0x33);  // quick rates
    return static_cast<uint8_t>(r);
}

TEST(SidVoices, MatchesTheCycleByCycleModelOnRandomStreams) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        SidVoices sid = fresh();
        CycleModel reference;
        uint64_t now = 0;
        for (int event = 0; event < 300; ++event) {
            const auto kind = static_cast<unsigned>(random() % 10);
            uint64_t gap = random() % 3000;
            if (kind == 0) gap = 20000 + random() % 60000;  // a long wait
            for (uint64_t k = 0; k < gap; ++k) reference.cycle();
            now += gap;
            if (kind < 7) {
                const auto reg = static_cast<uint8_t>(random() % 21);
                const uint8_t value = randomValue(random, reg);
                sidVoicesWrite(sid, now, reg, value);
                reference.write(reg, value);
            } else {
                EXPECT_EQ(sidVoicesRead(sid, now, 0x1C), reference.level) << now;
            }
            sidVoicesAdvance(sid, now);
            for (int v = 0; v < 3; ++v) {
                ASSERT_EQ(sid.accumulator[v], reference.acc[v]) << "voice " << v << " at " << now;
                ASSERT_EQ(sid.noise[v], reference.noise[v]) << "voice " << v << " at " << now;
            }
            ASSERT_EQ(sid.envelope.level, reference.level) << now;
            ASSERT_EQ(sid.envelope.rateCounter, reference.rateCounter) << now;
            ASSERT_EQ(sid.envelope.exponent, reference.exponent) << now;
        }
    }
}

TEST(SidVoices, TheMachineReadsVoice3) {
    // LDA #$FF, STA $D40F (voice 3 at $FF00), LDA #$21, STA $D412 (saw,
    // gate), LDA $D41B, STA $F0, LDA $D419, STA $F1.
    loadCode("a9 ff 8d 0f d4 a9 21 8d 12 d4 ad 1b d4 85 f0 ad 19 d4 85 f1");
    machineStart(
        {false, 0x1000, 0, 0, 0x2000, 0x37, [](void*, uint32_t, uint16_t, uint8_t) {}, nullptr});
    cpu.bus.nextEvent = kNever;
    cpu.bus.limit = kNever;
    for (int k = 0; k < 8; ++k) cpuRunMachine(1);
    // The frequency is stored at cycle 6, $D41B read at 16: $9F600.
    EXPECT_EQ(cpu.memory[0xF0], 0x09);
    EXPECT_EQ(cpu.memory[0xF1], 0xFF);
}

}  // namespace
