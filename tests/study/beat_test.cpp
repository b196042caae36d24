// The tune's beat: the length of its rows, where they begin, and the calls a
// screen of a tune called faster than the screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "study/beat.h"

namespace {

TEST(Beat, RowLength) {
    const struct {
        std::vector<uint32_t> onsets;
        uint32_t row;
    } cases[] = {
        {{0, 6, 12, 18, 30, 36, 48, 54, 60}, 6},
        {{0, 12, 24, 36, 48, 60, 72, 84, 96}, 12},
        {{1, 6, 13, 18, 25, 30, 37, 42, 49}, 6},  // some a call late
        {{0, 3, 6, 9, 12, 15, 18, 21, 24}, 3},
        {{0, 5, 11, 16, 22, 27, 33, 38, 44, 49}, 0},  // 5 and 6 by turns
        {{0, 6, 12}, 0},                              // too few
    };
    for (const auto& c : cases) EXPECT_EQ(rowLength(c.onsets), c.row);
}

// A tune called n times a screen has rows of n times as many calls: notes on
// every second call of one called 15 times a screen make no row of 2 calls.
TEST(Beat, RowsOfAFasterTune) {
    EXPECT_EQ(callsAScreen(985248, 312 * 63), 1u);     // PAL screen
    EXPECT_EQ(callsAScreen(1022727, 263 * 65), 1u);    // NTSC screen, 59.83 a second
    EXPECT_EQ(callsAScreen(1022727, 0x2710 + 1), 2u);  // 102.26 a second
    EXPECT_EQ(callsAScreen(985248, 1313), 15u);        // 750 a second
    std::vector<uint32_t> everySecond, everyThirtieth;
    for (uint32_t k = 0; k < 40; ++k) everySecond.push_back(2 * k);
    for (uint32_t k = 0; k < 40; ++k) everyThirtieth.push_back(90 * k + (k % 3) * 30);
    EXPECT_EQ(rowLength(everySecond), 2u);  // at a screen's rate: rows of 2 calls
    EXPECT_EQ(rowLength(everySecond, 15), 0u);
    EXPECT_EQ(rowLength(everyThirtieth, 15), 30u);
}

// Where the rows begin: the phase most onsets fall on, with those a call
// late for rows of 4 calls or more.
TEST(Beat, RowPhase) {
    const struct {
        std::vector<uint32_t> onsets;
        uint32_t row, phase;
    } cases[] = {
        {{9, 21, 33, 45, 57, 69, 81, 93}, 12, 9},    // every note 9 calls into its row
        {{1, 6, 13, 18, 25, 30, 37, 42, 49}, 6, 0},  // more a call late than on time
        {{1, 2, 7, 8, 13, 14, 19, 20, 25}, 6, 1},    // two voices a call apart
        // As many on 4 and 5 as on 3 and 4: the phase that has them itself.
        {{4, 10, 16, 22, 28, 34, 40, 46}, 6, 4},
        {{5, 6, 11, 12, 17, 18, 23, 24}, 6, 5},  // the call late of phase 5 is phase 0
        {{0, 3, 6, 1, 4, 7, 10, 2}, 3, 1},       // rows of 3: no call late
        {{0, 0, 0, 4, 1}, 3, 1},                 // any order, a call counted once
        {{1, 2, 3}, 0, 0},                       // no row length
        {{}, 6, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rowPhase(c.onsets, c.row), c.phase) << testing::PrintToString(c.onsets);
}

}  // namespace
