#include "song/call_rate.h"

#include <algorithm>

#include "output/output_file.h"
#include "output/time_text.h"

CallRate::CallRate() : clock_(kPalClock) {}

CallRate::CallRate(const TuneHeader& header, int song)
    : clock_(tuneClock(header)),
      ntsc_(tuneIsNtsc(header)),
      timerDriven_(songTimerDriven(header, song)) {}

const RatePeriod& CallRate::periodAt(uint32_t call) const {
    // The last period that begins at or before `call` (the first when none does).
    const auto after =
        std::upper_bound(periods_.begin() + 1, periods_.end(), call,
                         [](uint32_t c, const RatePeriod& p) { return c < p.firstCall; });
    return *(after - 1);
}

void CallRate::addPeriod(uint32_t call, uint32_t cycles, uint16_t latch) {
    // Appends a period of `cycles` from `call` on, unless the last has them.
    if (periods_.empty()) {
        periods_.push_back({0, cycles, 0, latch});
        return;
    }
    const RatePeriod& last = periods_.back();
    if (last.cycles == cycles) return;
    periods_.push_back(
        {call, cycles, last.startCycles + uint64_t{last.cycles} * (call - last.firstCall), latch});
    if (mostPeriods_ != 0 && periods_.size() > mostPeriods_) thinPeriods();
}

void CallRate::thinPeriods() {
    // Periods 2k - 1 and 2k become period k, which ends where period 2k + 1
    // begins; the first (call 0's, the start routine's) and the last, which
    // goes on, stay as they are.
    const size_t closed = periods_.size() - 1;
    size_t kept = 1;
    for (size_t k = 1; k < closed; k += 2) {
        RatePeriod p = periods_[k];
        if (k + 1 < closed) {
            const RatePeriod& next = periods_[k + 2];
            const uint64_t mean =
                (next.startCycles - p.startCycles) / (next.firstCall - p.firstCall);
            p.cycles = static_cast<uint32_t>(std::clamp<uint64_t>(mean, 1, 0xFFFFFFFF));
        }
        periods_[kept++] = p;
    }
    periods_[kept++] = periods_.back();
    periods_.resize(kept);
}

void CallRate::afterCall(uint32_t call, uint16_t latch) {
    uint32_t cycles = ntsc_ ? kNtscScreenCycles : kPalScreenCycles;
    if (!timerDriven_) {
        latch = 0;
    } else {
        if (latch == 0) latch = ntsc_ ? kNtscDefaultLatch : kPalDefaultLatch;
        cycles = uint32_t{latch} + 1;
    }
    addPeriod(periods_.empty() ? 0 : call + 1, cycles, latch);
}

void CallRate::callCycles(uint32_t call, uint64_t cycles) {
    lastCall_ = call;
    // A call of no cycles (ended before its first instruction) counts one.
    addPeriod(call, static_cast<uint32_t>(std::clamp<uint64_t>(cycles, 1, 0xFFFFFFFF)), 0);
}

uint32_t CallRate::meanBefore(uint32_t end, uint32_t count) const {
    // Measured: the mean period of the `count` calls (at most, from call 1)
    // before `end`.
    const uint32_t first = end > count + 1 ? end - count : 1;
    const uint64_t mean = (start(end) - start(first)) / (end - first);
    return static_cast<uint32_t>(std::clamp<uint64_t>(mean, 1, 0xFFFFFFFF));
}

uint32_t CallRate::firstMeasuredPeriod() const {
    // Times count from call 1: the start routine's tick takes a play call's time.
    return meanBefore(std::min(lastCall_, kTempoGroup) + 1);
}

std::vector<RatePeriod> CallRate::tempoPeriods() const {
    if (!measured_ || periods_.empty()) return periods_;
    const uint32_t calls = lastCall_;
    if (calls == 0) return {periods_.front()};
    std::vector<RatePeriod> tempo{{0, firstMeasuredPeriod(), 0, 0}};
    uint32_t from = 1;
    for (uint32_t call = 2; call <= calls + 1; ++call) {
        const uint64_t period = tempo.back().cycles;
        const uint64_t real = start(call) - start(from);
        const uint64_t ticked = period * (call - from);
        const uint64_t drift = real > ticked ? real - ticked : ticked - real;
        if (call - from < kTempoGroup || drift <= std::max(period, real / 100)) continue;
        // The new period once the group's calls agree with its second half
        // (a group across the change would give a tempo between the two),
        // or once the drift is a group's worth.
        const uint64_t group = meanBefore(call), half = meanBefore(call, kTempoGroup / 2);
        const uint64_t apart = group > half ? group - half : half - group;
        if (apart * 100 > group && drift <= kTempoGroup * period) continue;
        tempo.push_back({call, static_cast<uint32_t>(group), start(call), 0});
        from = call;
    }
    return tempo;
}

uint32_t CallRate::firstTempoPeriod() const {
    if (!measured_ || periods_.empty() || lastCall_ == 0) return periods_.front().cycles;
    return firstMeasuredPeriod();
}

uint64_t CallRate::start(uint32_t call) const {
    const RatePeriod& p = periodAt(call);
    return p.startCycles + uint64_t{p.cycles} * (call - p.firstCall);
}

uint32_t CallRate::period(uint32_t call) const {
    return periodAt(call).cycles;
}

uint64_t CallRate::position(uint64_t cycles, uint32_t scale) const {
    const auto after =
        std::upper_bound(periods_.begin() + 1, periods_.end(), cycles,
                         [](uint64_t c, const RatePeriod& p) { return c < p.startCycles; });
    const RatePeriod& p = *(after - 1);
    return uint64_t{p.firstCall} * scale + (cycles - p.startCycles) * scale / p.cycles;
}

std::string CallRate::text() const {
    if (measured_) {
        return "the interrupts' rate: a call lasts from one interrupt to the next, so the rate "
               "may change from call to call";
    }
    const RatePeriod& first = periods_.front();
    // Calls a second in hundredths, rounded.
    const uint64_t hundredths = (uint64_t{clock_} * 200 / first.cycles + 1) / 2;
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(hundredths / 100), 1);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(hundredths % 100), 2);
    std::string out(text, at);
    out += " calls a second, ";
    if (!timerDriven_) return out + "the screen's rate";
    at = putHex(text, first.latch, 4, false);
    return out + "CIA timer $" + std::string(text, at);
}

uint32_t CallRate::callsWithin(uint32_t seconds) const {
    const uint64_t calls = uint64_t{seconds} * clock_ / periods_.front().cycles;
    return calls > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(calls);
}

std::string CallRate::timeText(uint64_t cycles) const {
    return clockTime(cycles, clock_);
}
