#include "output/time_text.h"

#include "output/output_file.h"

std::string minutesText(uint64_t units, int digits) {
    uint64_t perSecond = 1;
    for (int k = 0; k < digits; ++k) perSecond *= 10;
    const uint64_t seconds = units / perSecond;
    char text[40];
    char* at = putDecimal(text, static_cast<uint32_t>(seconds / 60), 1);
    *at++ = ':';
    at = putDecimal(at, static_cast<uint32_t>(seconds % 60), 2);
    if (digits > 0) {
        *at++ = '.';
        at = putDecimal(at, static_cast<uint32_t>(units % perSecond), digits);
    }
    return std::string(text, at);
}
