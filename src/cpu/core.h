// The register file the execution loop works on while it runs. cpuRun copies
// the processor state in and out, so that the registers can stay in host
// registers: memory stores cannot alias a local.
#pragma once

#include <cstdint>

struct Core {
    uint32_t pc;      // may pass $FFFF by up to two bytes before the loop wraps it
    uint64_t cycles;  // charged in this cpuRun call
    uint8_t a, x, y, sp;
    uint8_t c, v, d, i, b;  // 0 or 1
    // N and Z in one value: Z is set when its low byte is 0, N when bit 7 or
    // bit 8 is set. Most instructions store their 8-bit result here.
    uint32_t nz;
    // cpu.storeTraps, the thread's own, its address taken once per run: where
    // thread-local storage is emulated (MinGW), each access by name is a call.
    const uint8_t* traps;
};
