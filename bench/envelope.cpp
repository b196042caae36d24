// The envelope generators' cost over a long run: 90,224 calls (30 minutes at
// the screen's rate, the most --length runs) of three chips whose nine voices
// each take a note every 6 calls (the gate off and on, the attack/decay and
// sustain/release written) and a few control writes between, then the call's
// end, which runs every voice to it. Prints the time per call and per run.
//
// usage: voxdump_envelope_bench
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "study/envelope.h"

int main() {
    constexpr uint32_t kCalls = 90224;
    constexpr uint32_t kPeriod = 19656;
    constexpr int kRuns = 5;
    double best = 1e9;
    unsigned checksum = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        Envelopes envelopes;
        uint64_t callStart = 0;
        uint32_t state = 12345;
        for (uint32_t call = 0; call < kCalls; ++call) {
            envelopes.beginCall();
            uint64_t at = callStart + 30;
            for (int chip = 0; chip < 3; ++chip) {
                envelopes.store(at, chip, 24, 0x0F);
                for (unsigned voice = 0; voice < 3; ++voice) {
                    state = state * 1103515245u + 12345u;
                    const unsigned reg = voice * 7;
                    const auto wave = static_cast<uint8_t>(0x10u << (state >> 29 & 3));
                    if ((call + voice) % 6 == 0) {
                        envelopes.store(at += 12, chip, reg + 5, static_cast<uint8_t>(state >> 8));
                        envelopes.store(at += 12, chip, reg + 6, static_cast<uint8_t>(state >> 16));
                        envelopes.store(at += 12, chip, reg + 4, wave);
                        envelopes.store(at += 12, chip, reg + 4, wave | 1);
                    } else if ((call + voice) % 6 == 3) {
                        envelopes.store(at += 12, chip, reg + 4, wave);
                    } else {
                        envelopes.store(at += 12, chip, reg + 4, wave | ((call + voice) % 6 < 3));
                    }
                }
            }
            callStart += kPeriod;
            envelopes.endCall(callStart, 3);
            for (int v = 0; v < kMaxVoices; ++v)
                checksum += unsigned{envelopes.level(v)} + envelopes.loudness(v);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best) best = seconds;
    }
    std::printf(
        "envelope model, %u calls of 9 voices (16.5 stores a call): %.1f ms a run (best of %d), "
        "%.0f ns a call (checksum %u)\n",
        kCalls, best * 1000, kRuns, best * 1e9 / kCalls, checksum);
    return 0;
}
