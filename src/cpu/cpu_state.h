// The one emulated 6502: registers, flags, the 64 KiB memory image and the
// per-opcode base cycle table.
#pragma once

#include <array>
#include <cstdint>

struct CpuState {
    std::array<uint8_t, 256> opcodeCycles;
    uint16_t pc;
    uint8_t a, x, y, sp;
    uint8_t n, v, b, d, i, z, c;  // each 0 or 1
    uint8_t lastZpAddress;
    uint16_t lastAbsAddress;
    uint32_t cycleTotal;  // cycles charged in the current cpuRun call
    uint8_t logEnabled;
    alignas(64) std::array<uint8_t, 65536> memory;
};

extern CpuState cpu;

// Results of cpuRun.
inline constexpr int kRunStepsDone = 0;   // the requested number of instructions ran
inline constexpr int kRunReachedBrk = 1;  // opcode $00 fetched; pc is on it
inline constexpr int kRunStopped = 2;     // the watchdog ended the routine call

// Base cycles of the documented NMOS opcodes, 0 for the others.
extern const std::array<uint8_t, 256> kBaseCycles;

void cpuReset(bool logEnabled);
uint8_t* cpuMemory();
void cpuLoad(const uint8_t* source, uint16_t address, uint16_t length);
void cpuSetPc(uint16_t address);
uint16_t cpuPc();

// Flags packed as N V 0 B D I Z C, as PHP pushes them.
uint8_t statusByte();
// Unpacks a pulled status byte into the flags; bit 5 is ignored.
void setStatusByte(uint8_t status);

// Runs until opcode $00 is fetched (stepCount 0) or at most stepCount
// instructions; see the kRun* results.
int cpuRun(uint16_t stepCount);
