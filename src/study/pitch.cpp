#include "study/pitch.h"

#include <cmath>

double portableLog2(double x) {
    int exponent = 0;
    double mantissa = std::frexp(x, &exponent);  // x = mantissa * 2^exponent, exact
    if (mantissa < 0.70710678118654752) {
        mantissa *= 2;
        --exponent;
    }
    // ln(m) = 2 atanh(z) with z = (m - 1) / (m + 1), |z| < 0.172: the series
    // z + z^3/3 + z^5/5 + ... has converged after a dozen terms.
    const double z = (mantissa - 1) / (mantissa + 1);
    const double z2 = z * z;
    double term = z;
    double sum = 0;
    for (int k = 1; k <= 27; k += 2) {
        sum += term / k;
        term *= z2;
    }
    constexpr double kTwoOverLn2 = 2.8853900817779268;  // 2 / ln 2
    return exponent + sum * kTwoOverLn2;
}

Pitch pitchOf(uint16_t frequency, uint32_t clock) {
    if (frequency == 0) return {false, 0, 0, 0};
    const double hertz = static_cast<double>(frequency) * clock / 16777216.0;
    const double exact = 69 + 12 * portableLog2(hertz / 440);
    const int key = static_cast<int>(std::floor(exact + 0.5));
    const int cents = static_cast<int>(std::floor((exact - key) * 100 + 0.5));
    const auto milli = static_cast<int32_t>(std::floor(exact * 1000 + 0.5));
    return {key >= 0 && key <= 127, key, cents, milli};
}

Pitch PitchMemo::of(uint16_t frequency, uint32_t clock) {
    Remembered& slot = remembered_[(frequency ^ frequency >> 6) & 63];
    if (slot.clock != clock || slot.frequency != frequency)
        slot = {frequency, clock, pitchOf(frequency, clock)};
    return slot.pitch;
}

char* putNoteName(char* at, int key) {
    static const char* const kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                           "F#", "G-", "G#", "A-", "A#", "B-"};
    const char* name = kNames[key % 12];
    *at++ = name[0];
    *at++ = name[1];
    const int octave = key / 12 - 1;
    if (octave < 0) *at++ = '-';
    *at++ = static_cast<char>('0' + (octave < 0 ? -octave : octave));
    return at;
}
