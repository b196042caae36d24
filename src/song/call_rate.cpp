#include "song/call_rate.h"

#include "output/output_file.h"

namespace {

struct Rate {
    uint32_t clock;
    bool ntsc;
    bool timerDriven;
    std::vector<RatePeriod> periods;
};

thread_local Rate rate;

const RatePeriod& periodAt(uint32_t call) {
    size_t k = rate.periods.size() - 1;
    while (k > 0 && rate.periods[k].firstCall > call) --k;
    return rate.periods[k];
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
    if (rate.periods.empty()) {
        rate.periods.push_back({0, cycles, 0, latch});
        return;
    }
    const RatePeriod& last = rate.periods.back();
    if (last.cycles == cycles) return;
    const uint32_t next = call + 1;
    rate.periods.push_back(
        {next, cycles, last.startCycles + uint64_t{last.cycles} * (next - last.firstCall), latch});
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
    size_t k = rate.periods.size() - 1;
    while (k > 0 && rate.periods[k].startCycles > cycles) --k;
    const RatePeriod& p = rate.periods[k];
    return uint64_t{p.firstCall} * scale + (cycles - p.startCycles) * scale / p.cycles;
}

std::string callRateText() {
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
