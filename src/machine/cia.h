// A CIA (6526): timers A and B and the interrupt control register; the
// ports, the time of day and the serial register only keep what is written.
//
// The timers are not ticked: each holds its counter at a cycle, and its
// value at any later cycle is computed from the cycles elapsed. A running
// timer counts down once a cycle; the cycle after it reached 0 it underflows,
// sets its interrupt flag and is reloaded from its latch, so that it
// underflows every latch + 1 cycles. In one-shot mode it stops at the reload.
// Start, stop and force load take effect at the cycle of the write. Timer B
// may count timer A's underflows instead of the clock (with nothing on the
// CNT pin, also in the mode that counts them while CNT is high); a timer
// that counts CNT pulses does not count.
#pragma once

#include <cstdint>

inline constexpr uint64_t kNever = ~uint64_t{0};

struct CiaTimer {
    uint16_t latch;
    uint16_t counter;  // its value at cycle `at`
    uint64_t at;
    bool running;
    bool oneShot;
};

struct Cia {
    CiaTimer timer[2];  // A, B
    uint8_t regs[16];   // as written; the control registers' start bits kept up to date
    uint8_t flags;      // interrupt flags (bits 0-4), set whether masked or not
    uint8_t mask;       // interrupt mask
    // The interrupt output and bit 7 of the control register: raised when a
    // flag is set while its mask bit is (or a mask bit is set while its flag
    // is), and held, whatever the mask does later, until the register is read.
    bool raised;
    // Whether the output is held so (CIA 2, the NMI's). CIA 1's follows its
    // flags and mask instead: a start routine here runs with interrupts off,
    // where on the machine the system's handler acknowledges CIA 1 every
    // jiffy, so a flag it raised there would hold the IRQ line for ever in a
    // tune that clears the mask and never reads the register.
    bool holdsOutput;
    bool counterRead;  // a timer's counter was read (the machine clears it)
    bool countsA;      // timer B counts timer A's underflows
};

// As after power-on: timers stopped with their latches and counters $FFFF,
// no flag, no mask, the ports inputs.
void ciaReset(Cia& cia);

// Brings the timers to cycle `now`: underflows since then set their flags.
void ciaAdvance(Cia& cia, uint64_t now);

// Register `reg` (0-15) read at `now`: reading the interrupt control
// register ($D) returns the flags, with bit 7 set while the interrupt output
// is raised, and clears them and the output.
uint8_t ciaRead(Cia& cia, uint8_t reg, uint64_t now);

// Register `reg` written at `now`.
void ciaWrite(Cia& cia, uint8_t reg, uint8_t value, uint64_t now);

// The interrupt output: raised by an unmasked flag, held until the
// interrupt control register is read (a handler that clears the mask first
// still reads bit 7 set).
inline bool ciaInterrupting(const Cia& cia) {
    return cia.holdsOutput ? cia.raised : (cia.flags & cia.mask) != 0;
}

// The cycle of the next underflow that raises the interrupt output (an
// unmasked timer whose flag is clear), or kNever.
uint64_t ciaNextInterrupt(const Cia& cia);

// True when the interrupt output is raised or may be raised later without a
// register access (an unmasked timer runs).
bool ciaArmed(const Cia& cia);
