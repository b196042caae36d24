// How often a player calls the play routine, and so when each routine call
// happens. A song whose speed bit is clear is called once a screen (PAL:
// 312 lines of 63 cycles, NTSC: 263 of 65); one whose bit is set at the rate
// of timer A of the first CIA, clock / (latch + 1), where the latch is what
// the tune stored at $DC04 (low) and $DC05 (high). The start routine usually
// sets the latch; a tune may change it in a play call, and the rate changes
// from the next call on.
//
// Times count in cycles of the machine's clock from the start of the start
// routine (call 0), which takes the first period as a play call does: call k
// begins at the sum of the periods of the calls before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tune/tune.h"

inline constexpr uint32_t kPalScreenCycles = 312 * 63;
inline constexpr uint32_t kNtscScreenCycles = 263 * 65;
// What the system leaves in timer A's latch when the tune never sets it.
inline constexpr uint16_t kPalDefaultLatch = 0x4025;
inline constexpr uint16_t kNtscDefaultLatch = 0x4295;

// Where the first CIA's timer A latch lies in memory.
inline constexpr uint16_t kTimerLatchLow = 0xDC04;

// A period from the call on which it starts.
struct RatePeriod {
    uint32_t firstCall;
    uint32_t cycles;       // per call
    uint64_t startCycles;  // when firstCall begins
    uint16_t latch;        // the timer's latch, for a timer-driven song
};

// The tempo periods: the periods themselves, or, measured, the mean period
// of calls 1 to kTempoGroup from call 0 on, and a new period (the mean of the
// kTempoGroup calls before) only where ticks at the period in force would run
// ahead of or behind the calls' real time by more than a period and 1 %
// (since the period began, kTempoGroup calls at least), and the group's mean
// agrees within 1 % with its second half's (or the drift has grown to a
// group's periods): an uneven spacing of the interrupts within a frame makes
// no tempo change, a changed rate one.
inline constexpr uint32_t kTempoGroup = 16;

class CallRate {
public:
    // A rate at PAL's clock, once a screen.
    CallRate();
    // Before the run: the clock and the speed bit of the song played.
    CallRate(const TuneHeader& header, int song);

    // Routine call `call` ended with `latch` in $DC04/$DC05 (0: never set):
    // the period of the next call (for call 0, of calls 0 and 1).
    void afterCall(uint32_t call, uint16_t latch);

    // For a tune run in the machine environment (machine/), before the first
    // call: each call takes the cycles it really took, from one interrupt to
    // the next, so the rate may change from call to call.
    void measure() { measured_ = true; }
    bool measured() const { return measured_; }

    // Keeps at most `most` periods (0: no bound): past that, two neighbouring
    // periods become one of their mean, so that calls within it begin at
    // times evened out between its start and the next period's, which stay
    // exact, as does the last period's. Before the first call.
    void bound(uint32_t most) { mostPeriods_ = most; }

    // Measured: routine call `call` (0, 1, 2, ... in order) took `cycles`.
    void callCycles(uint32_t call, uint64_t cycles);

    uint32_t clock() const { return clock_; }
    bool ntsc() const { return ntsc_; }

    // The periods so far, in order; the first holds from call 0.
    const std::vector<RatePeriod>& periods() const { return periods_; }

    // When call k begins, in cycles; known up to one call after the last ended.
    uint64_t start(uint32_t call) const;
    // The period of call k, in cycles.
    uint32_t period(uint32_t call) const;

    // Where a time in cycles falls, in calls: call k's start is k * scale,
    // and the time within a call counts in proportion.
    uint64_t position(uint64_t cycles, uint32_t scale) const;

    // "50.12 calls a second, the screen's rate", "100.25 calls a second, CIA
    // timer $2663": the first period; measured, a sentence that says so.
    std::string text() const;

    // The periods for a tempo (see kTempoGroup).
    std::vector<RatePeriod> tempoPeriods() const;
    // The first period of tempoPeriods.
    uint32_t firstTempoPeriod() const;

    // The most play calls that fit in `seconds` at the first rate.
    uint32_t callsWithin(uint32_t seconds) const;

    // A time in cycles as m:ss.cc at this clock.
    std::string timeText(uint64_t cycles) const;

private:
    const RatePeriod& periodAt(uint32_t call) const;
    void addPeriod(uint32_t call, uint32_t cycles, uint16_t latch);
    uint32_t meanBefore(uint32_t end, uint32_t count = kTempoGroup) const;
    uint32_t firstMeasuredPeriod() const;
    void thinPeriods();

    uint32_t clock_;
    bool ntsc_ = false;
    bool timerDriven_ = false;
    bool measured_ = false;
    uint32_t lastCall_ = 0;  // measured: the last call recorded
    uint32_t mostPeriods_ = 0;
    std::vector<RatePeriod> periods_;
};
