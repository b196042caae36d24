// The processor's side of a machine around it (cpu.bus, a CpuBus, with the
// rest of the processor's state in cpu_state.h): what the machine variant of
// the execution loop reads and writes through, and when it must hand control
// back. The CPU knows no chip: the machine fills it in (a page table for
// reads, the pages where stores go to its chips, functions for those
// accesses) and keeps `nextEvent` and `irqLine` up to date.
//
// Reads: a page whose entry points to 256 bytes is read there (RAM or a ROM
// image); a null entry is the machine's I/O and goes to `ioRead`. Stores go
// to RAM (cpu.memory), except on a page whose store trap has kTrapIo, where
// `ioWrite` gets them and RAM does not. A store to $0000 or $0001 (the
// processor port) reaches RAM and then `portWrite`, which may change the
// page table. Cycles are the machine's own count, from its start.
#pragma once

#include <cstdint>

#include "cpu/watchdog.h"

inline constexpr uint8_t kTrapIo = 16;  // cpu.storeTraps: the page is I/O, not RAM

// Results of cpuRunMachine besides those of cpuRun (kRunStepsDone, kRunStopped).
inline constexpr int kRunEvent = 4;   // the next event's cycle was reached, or an
                                      // interrupt may be taken now
inline constexpr int kRunIdle = 5;    // a JMP to itself ran: nothing changes until
                                      // an event
inline constexpr int kRunRepeat = 6;  // the state repeated without an I/O access
                                      // since the watchdog's saved state

// A read as the processor does it, side effects of I/O registers included.
inline uint8_t busRead(uint16_t address) {
    const uint8_t* page = cpu.bus.readPage[address >> 8];
    if (page != nullptr) [[likely]]
        return page[address & 0xFF];
    watchdog.ioSinceSave = true;
    return cpu.bus.ioRead(address);
}

// Runs the machine variant of the loop from cpu.bus.now until an event, an
// idle or repeating state, or the end (stepCount 0), or for at most
// stepCount instructions. Opcode $00 is BRK, which goes through ($FFFE).
int cpuRunMachine(uint16_t stepCount);

// The processor takes an interrupt (7 cycles from cpu.bus.now): PC and the
// flags are pushed with the break flag clear, I is set and PC is read from
// `vector` (through the page table).
void cpuInterrupt(uint16_t vector);
