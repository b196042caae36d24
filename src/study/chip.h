// The sound chips as the tune's stores leave them: up to three chips of
// three voices, their registers, and per voice whether the voice was started
// again within the running routine call: its gate written off and on again,
// or its test bit set and released (a retrigger).
#pragma once

#include <cstdint>

#include "tune/tune.h"

inline constexpr int kMaxChips = 3;
inline constexpr int kVoicesPerChip = 3;
inline constexpr int kMaxVoices = kMaxChips * kVoicesPerChip;

struct VoiceRegisters {
    uint16_t frequency;   // registers 0-1
    uint16_t pulseWidth;  // registers 2-3, 12 bits
    uint8_t control;      // register 4: gate bit 0, test bit 3, waveforms bits 4-7
    uint8_t attackDecay;
    uint8_t sustainRelease;
};

inline constexpr uint8_t kGate = 0x01;
inline constexpr uint8_t kTest = 0x08;
inline constexpr uint8_t kWaveforms = 0xF0;
inline constexpr uint8_t kTriangle = 0x10;
inline constexpr uint8_t kSawtooth = 0x20;
inline constexpr uint8_t kPulse = 0x40;
inline constexpr uint8_t kNoise = 0x80;

struct ChipState {
    VoiceRegisters voice[kVoicesPerChip];
    uint16_t cutoff;           // registers 21-22, 11 bits
    uint8_t resonanceRouting;  // register 23
    uint8_t modeVolume;        // register 24
};

// The chips of one run.
class Chips {
public:
    Chips() = default;  // no chip
    // Sets up the chips from the header: one chip answers every store into
    // $D400-$D7FF, unless the header names the 32-byte block of a second
    // (third) chip (tuneChipBlocks). All registers are 0.
    explicit Chips(const TuneHeader& header);

    int count() const { return count_; }
    // The address of a chip's register block ($D400 for the first).
    uint16_t address(int chip) const { return address_[chip]; }

    // A store into $D400-$D7FF; returns the chip that took it (0 to 2), or -1
    // for registers 25-31, which the chip does not have.
    int store(uint16_t address, uint8_t value);

    // A routine call begins: no gate has been written in it yet.
    void beginCall();

    ChipState state(int chip) const;
    // The voice (0 to 8) had its gate written off and then on, or its test bit
    // set and then cleared, in this call.
    bool retriggered(int voice) const { return retriggered_[voice]; }
    // One of the voice's registers (0-6) was written in this call.
    bool voiceWritten(int voice) const { return written_[voice]; }

private:
    int count_ = 0;
    uint16_t address_[kMaxChips] = {};
    uint8_t registers_[kMaxChips][32] = {};
    bool gateOff_[kMaxVoices] = {};  // written off in this call
    bool testOn_[kMaxVoices] = {};   // the test bit written on in this call
    bool retriggered_[kMaxVoices] = {};
    bool written_[kMaxVoices] = {};
};
