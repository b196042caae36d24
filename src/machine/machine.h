// The environment in which interrupt-driven tunes run as on the machine: the
// memory map and system ROM (memory_map.h), two CIAs (cia.h), the video
// chip's raster interrupt (vic.h), and the 6502's IRQ and NMI inputs. The
// machine runs without stopping; the run is cut into calls at the IRQs:
//  - call 0 runs from the start until the first IRQ is taken;
//  - call k runs from the k-th IRQ's entry (its 7 cycles included) to the
//    entry of the next; NMIs and a main loop's work belong to the call in
//    which they happen;
//  - a call in which no IRQ comes for a frame (312 lines of 63 cycles on
//    PAL, 263 of 65 on NTSC) ends after it, so that every run ends; call 0
//    goes on while the start routine has not returned (it lands in the idle
//    loop when it does), up to the call's cycle limit;
//  - a call ends at its cycle limit (the budget, or 4294967295 cycles) as a
//    flat call does, and the machine goes on in the next call;
//  - a machine that can never change again (a JAM, an undocumented opcode
//    that is not executed, or a state that repeats while no interrupt can
//    come) is halted: the rest of its calls are empty frames.
// A JMP to itself, and any loop whose state repeats without touching the
// I/O chips, waits for the next event without being run cycle by cycle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machine/machine_state.h"

struct MachineSettings {
    bool ntsc;
    uint16_t initAddress;
    uint8_t a;              // A at the start (the song's number - 1)
    uint32_t budget;        // cycles a call may take; 0: the 32-bit limit
    uint16_t idle;          // where the start routine returns to: the idle loop's place
    uint8_t bank;           // the bank register at the start
    SoundWrite soundWrite;  // every store into the sound chip, timed from the call's start
    void* soundContext;     // what soundWrite is given
};

// With the tune in RAM (after cpuReset): the machine as the system leaves it
// for a tune (CIA 1 timer A with the system's latch, $4025 PAL or $4295
// NTSC, running with its interrupt enabled; the raster compare at $137, its
// interrupt off; the other timers stopped at $FFFF; $01 = $37; $02A6 = 1 for
// PAL, 0 for NTSC; the RAM vectors at $0314-$0319), the processor at the
// init address with the I flag set and a return address into the idle loop
// on the stack. The idle loop (CLI, then a JMP to itself) is placed at
// `settings.idle`, in RAM unless that is the ROM's own ($FF00).
void machineStart(const MachineSettings& settings);

// Where a start routine can return to whatever it does with the bank
// register: the tune's free pages when its header names them (`startPage`
// 1-$FE, `pages` at least 1); with `startPage` 0 (the tune keeps to its own
// image), the start of the largest free range of $0400-$9FFF and
// $C000-$CFFF outside the image; with `startPage` $FF (no free page), the
// ROM's idle loop.
uint16_t machineIdlePlace(uint16_t load, uint32_t size, uint8_t startPage, uint8_t pages);

// The bank register at the start: $37 for an RSID tune; for a PSID tune,
// the setting that lets the processor see its whole image: $34 when it
// reaches into $D000-$DFFF, else $35 into $E000-$FFFF, else $36 into
// $A000-$BFFF, else $37.
uint8_t machineStartBank(bool rsid, uint16_t load, uint32_t size);

// A trace of the run: a call before each instruction, with its address and
// bytes as the processor sees them, and one at each interrupt entry.
struct MachineTrace {
    void (*instruction)(void* context, uint16_t pc, const uint8_t bytes[3]);
    void (*interrupt)(void* context, bool nmi);
    void* context;
};

struct MachineCall {
    uint64_t cycles;  // the call's length
    bool stopped;     // ended by its limit or halted: the watchdog says why
};

// Runs the next call (the first is call 0); `trace` may be null.
MachineCall machineRunCall(const MachineTrace* trace);

// The period of the interrupts armed now, for an estimate of the calls in
// a time: CIA 1 timer A's when it runs with its interrupt enabled, else
// the frame's.
uint32_t machineExpectedPeriod();

// The state that decides what the machine does next besides RAM and the
// registers, taken after each call: the program counter, the chips'
// registers and interrupt flags, the timers' counts and the raster position
// where they time an IRQ or the tune read them in the last 64 calls (a count
// read only while the tune started does not keep it from repeating, nor does
// the count of a timer that times NMIs alone), colour RAM. Writes at most
// kMachineStateWords words; returns how many.
inline constexpr size_t kMachineStateWords = 192;

// The system's jiffy clock ($A0 high to $A2 low), which its IRQ handler
// counts up: left out of the state that decides whether a song repeats (a
// tune that waits on it plays the same whatever it holds).
inline constexpr uint16_t kMachineClockBytes[3] = {0xA0, 0xA1, 0xA2};
size_t machineStateWords(uint64_t* words);
