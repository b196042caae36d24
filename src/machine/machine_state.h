// The environment's state, shared by its modules: chips, ROM, colour RAM and
// the bookkeeping of calls. One per thread, reset by machineStart.
#pragma once

#include <cstdint>

#include "machine/cia.h"
#include "machine/sid_voices.h"
#include "machine/vic.h"

using SoundWrite = void (*)(void* context, uint32_t time, uint16_t address, uint8_t value);

struct MachineState {
    Cia cia1, cia2;
    Vic vic;
    SidVoices sid;       // what reads of the sound chip see
    bool nmiLevel;       // CIA 2's output as last seen
    bool nmiPending;     // it rose since: an NMI is due
    uint64_t stealFrom;  // bad lines' stops from this cycle on are still to come
    uint64_t callStart;
    uint8_t bankLines;  // the bank register's lines the memory is mapped for
    // What $D000-$FFFF read from for each value of the lines, and where the
    // I/O chips are seen.
    const uint8_t* highPages[8][48];
    bool ioSeen[8];
    SoundWrite soundWrite;
    void* soundContext;
    uint8_t colour[1024];
    alignas(64) uint8_t rom[8192];
};

extern thread_local MachineState machine;

// The interrupt lines from the chips' outputs; a rise of CIA 2's output
// makes an NMI due.
void machineUpdateLines();
