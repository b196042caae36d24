#include "song/call_rate.h"

#include <algorithm>

#include "output/output_file.h"

namespace {

struct Rate {
    uint32_t clock;
    bool ntsc;
    bool timerDriven;
    bool measured;
    uint32_t lastCall;  // measured: the last call recorded
    std::vector<RatePeriod> periods;
};

thread_local Rate rate;

// The last period that begins at or before `call` (the first when none does).
const RatePeriod& periodAt(uint32_t call) {
    const auto after =
        std::upper_bound(rate.periods.begin() + 1, rate.periods.end(), call,
                         [](uint32_t c, const RatePeriod& p) { return c < p.firstCall; });
    return *(after - 1);
}

// Appends a period of `cycles` from `call` on, unless the last has them.
void addPeriod(uint32_t call, uint32_t cycles, uint16_t latch) {
    if (rate.periods.empty()) {
        rate.periods.push_back({0, cycles, 0, latch});
        return;
    }
    const RatePeriod& last = rate.periods.back();
    if (last.cycles == cycles) return;
    rate.periods.push_back(
        {call, cycles, last.startCycles + uint64_t{last.cycles} * (call - last.firstCall), latch});
}

}  // namespace

bool tuneIsNtsc(const TuneHeader& header) {
    return header.version >= 2 && ((header.flags >> 2) & 3) == 2;
}

bool songTimerDriven(const TuneHeader& header, int song) {
    const int bit = song > 32 ? 31 : song - 1;
    return (static_cast<uint32_t>(header.speed) >> bit) & 1;
}

void callRateReset(const TuneHeader& header, int song) {
    rate = Rate{};
    rate.ntsc = tuneIsNtsc(header);
    rate.clock = rate.ntsc ? kNtscClock : kPalClock;
    rate.timerDriven = songTimerDriven(header, song);
}

void callRateAfterCall(uint32_t call, uint16_t latch) {
    uint32_t cycles = rate.ntsc ? kNtscScreenCycles : kPalScreenCycles;
    if (!rate.timerDriven) {
        latch = 0;
    } else {
        if (latch == 0) latch = rate.ntsc ? kNtscDefaultLatch : kPalDefaultLatch;
        cycles = uint32_t{latch} + 1;
    }
    addPeriod(rate.periods.empty() ? 0 : call + 1, cycles, latch);
}

void callRateMeasure() {
    rate.measured = true;
}

bool callRateMeasured() {
    return rate.measured;
}

void callRateCallCycles(uint32_t call, uint64_t cycles) {
    rate.lastCall = call;
    // A call of no cycles (ended before its first instruction) counts one.
    addPeriod(call, static_cast<uint32_t>(std::clamp<uint64_t>(cycles, 1, 0xFFFFFFFF)), 0);
}

namespace {

// Measured: the mean period of the `count` calls (at most, from call 1)
// before `end`.
uint32_t meanBefore(uint32_t end, uint32_t count = kTempoGroup) {
    const uint32_t first = end > count + 1 ? end - count : 1;
    const uint64_t mean = (callStart(end) - callStart(first)) / (end - first);
    return static_cast<uint32_t>(std::clamp<uint64_t>(mean, 1, 0xFFFFFFFF));
}

// Measured, after call 1: the first tempo's period. Times count from call
// 1: the start routine's tick takes a play call's time.
uint32_t firstTempoPeriod() {
    return meanBefore(std::min(rate.lastCall, kTempoGroup) + 1);
}

}  // namespace

std::vector<RatePeriod> callRateTempoPeriods() {
    if (!rate.measured || rate.periods.empty()) return rate.periods;
    const uint32_t calls = rate.lastCall;
    if (calls == 0) return {rate.periods.front()};
    std::vector<RatePeriod> tempo{{0, firstTempoPeriod(), 0, 0}};
    uint32_t from = 1;
    for (uint32_t call = 2; call <= calls + 1; ++call) {
        const uint64_t period = tempo.back().cycles;
        const uint64_t real = callStart(call) - callStart(from);
        const uint64_t ticked = period * (call - from);
        const uint64_t drift = real > ticked ? real - ticked : ticked - real;
        if (call - from < kTempoGroup || drift <= std::max(period, real / 100)) continue;
        // The new period once the group's calls agree with its second half
        // (a group across the change would give a tempo between the two),
        // or once the drift is a group's worth.
        const uint64_t group = meanBefore(call), half = meanBefore(call, kTempoGroup / 2);
        const uint64_t apart = group > half ? group - half : half - group;
        if (apart * 100 > group && drift <= kTempoGroup * period) continue;
        tempo.push_back({call, static_cast<uint32_t>(group), callStart(call), 0});
        from = call;
    }
    return tempo;
}

uint32_t callRateFirstPeriod() {
    if (!rate.measured || rate.periods.empty() || rate.lastCall == 0)
        return rate.periods.front().cycles;
    return firstTempoPeriod();
}

const std::vector<RatePeriod>& callRatePeriods() {
    return rate.periods;
}

uint64_t callStart(uint32_t call) {
    const RatePeriod& p = periodAt(call);
    return p.startCycles + uint64_t{p.cycles} * (call - p.firstCall);
}

uint32_t callPeriod(uint32_t call) {
    return periodAt(call).cycles;
}

uint64_t callPosition(uint64_t cycles, uint32_t scale) {
    const auto after =
        std::upper_bound(rate.periods.begin() + 1, rate.periods.end(), cycles,
                         [](uint64_t c, const RatePeriod& p) { return c < p.startCycles; });
    const RatePeriod& p = *(after - 1);
    return uint64_t{p.firstCall} * scale + (cycles - p.startCycles) * scale / p.cycles;
}

std::string callRateText() {
    if (rate.measured) {
        return "the interrupts' rate: a call lasts from one interrupt to the next, so the rate "
               "may change from call to call";
    }
    const RatePeriod& first = rate.periods.front();
    // Calls a second in hundredths, rounded.
    const uint64_t hundredths = (uint64_t{rate.clock} * 200 / first.cycles + 1) / 2;
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(hundredths / 100), 1);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(hundredths % 100), 2);
    std::string out(text, at);
    out += " calls a second, ";
    if (!rate.timerDriven) return out + "the screen's rate";
    at = putHex(text, first.latch, 4, false);
    return out + "CIA timer $" + std::string(text, at);
}

uint32_t callsWithin(uint32_t seconds) {
    const uint64_t calls = uint64_t{seconds} * rate.clock / rate.periods.front().cycles;
    return calls > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(calls);
}

std::string clockTime(uint64_t cycles) {
    const uint64_t hundredths = cycles * 100 / rate.clock;
    const uint64_t minutes = hundredths / 6000;
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(minutes), 1);
    *at++ = ':';
    at = putDecimal(at, static_cast<uint32_t>(hundredths / 100 % 60), 2);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(hundredths % 100), 2);
    return std::string(text, at);
}
