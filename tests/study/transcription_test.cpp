// The transcription measured on tunes with a known score: for every device
// the notes' F1 (a note matches by voice, key and onset within a call), the
// share of the calls of one pitched note whose pitch the MIDI file plays
// within 5 cents, and for the devices that vary the loudness, the share of
// note pairs 6 dB or more apart whose velocities are in the same order.
#include <gtest/gtest.h>

#include <iostream>

#include "study/score.h"

namespace {

struct Tally {
    size_t matched = 0, found = 0, expected = 0, pitchCalls = 0, pitchHits = 0;
    size_t loudPairs = 0, loudPairsInOrder = 0;
};

TEST(Transcription, GeneratedScoresAreWrittenAsTheyWereMeant) {
    ScratchDir dir;
    const Device kDevices[] = {Device::Plain,       Device::HardRestart, Device::Vibrato,
                               Device::Arpeggio,    Device::Drum,        Device::Legato,
                               Device::Slide,       Device::InRelease,   Device::ReleaseOnly,
                               Device::LoweredRate, Device::Accent,      Device::Echo,
                               Device::LongDrum,    Device::NoiseBass,   Device::Mix};
    for (const Device device : kDevices) {
        Tally tally;
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            // Every other tune is out of tune, by up to 25 cents either way.
            const int tuning = seed % 2 == 0 ? static_cast<int>(seed * 7 % 51) - 25 : 0;
            const Score score = makeScore(device, seed, 600, tuning);
            writeFile(dir.path / "t.sid", score.tune);
            const RunResult r = runVoxdump(dir.path, {"t.sid", "600", "--midi"});
            ASSERT_EQ(r.status, 0) << r.err;
            const Transcribed t = compareMidi(score, readFile(dir.path / "t.mid"));
            const auto matched =
                static_cast<size_t>(t.recall * static_cast<double>(t.expected) + 0.5);
            tally.matched += matched;
            tally.found += t.notes;
            tally.expected += t.expected;
            tally.pitchCalls += t.pitchCalls;
            tally.pitchHits += t.pitchHits;
            tally.loudPairs += t.loudPairs;
            tally.loudPairsInOrder += t.loudPairsInOrder;
        }
        const double precision =
            static_cast<double>(tally.matched) / static_cast<double>(tally.found);
        const double recall =
            static_cast<double>(tally.matched) / static_cast<double>(tally.expected);
        const double f1 = 2 * precision * recall / (precision + recall);
        const double pitch = tally.pitchCalls == 0 ? 1
                                                   : static_cast<double>(tally.pitchHits) /
                                                         static_cast<double>(tally.pitchCalls);
        std::cout << deviceName(device) << ": " << tally.expected << " notes, F1 " << f1
                  << " (precision " << precision << ", recall " << recall
                  << "), pitch within 5 cents on " << pitch * 100 << " % of " << tally.pitchCalls
                  << " calls";
        if (tally.loudPairs > 0) {
            const double inOrder =
                static_cast<double>(tally.loudPairsInOrder) / static_cast<double>(tally.loudPairs);
            std::cout << ", velocities in order for " << inOrder * 100 << " % of "
                      << tally.loudPairs << " pairs 6 dB apart";
            EXPECT_GE(inOrder, 0.95) << deviceName(device);
        }
        std::cout << "\n";
        EXPECT_GE(f1, 0.95) << deviceName(device);
        EXPECT_GE(pitch, 0.98) << deviceName(device);
        if (device == Device::Accent || device == Device::Echo) {
            EXPECT_GT(tally.loudPairs, 100u) << deviceName(device);
        }
    }
}

}  // namespace
