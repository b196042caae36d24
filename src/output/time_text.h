// Times as people read them: minutes without padding, then seconds, then a
// fraction: "3:07", "3:07.45", "3:07.450".
#pragma once

#include <cstdint>
#include <string>

// `units` counted in 10^-digits seconds (digits 0 to 3), as m:ss, m:ss.c...
std::string minutesText(uint64_t units, int digits);

// m:ss.
inline std::string minutesAndSeconds(uint64_t seconds) {
    return minutesText(seconds, 0);
}

// A time in cycles at `clock` as m:ss.cc, hundredths cut.
inline std::string clockTime(uint64_t cycles, uint32_t clock) {
    return minutesText(cycles * 100 / clock, 2);
}
