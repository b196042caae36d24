// Per-call lists kept within a bound: when they thin, and what two entries
// become.
#include <gtest/gtest.h>

#include <vector>

#include "study/thinning.h"

namespace {

TEST(Thinning, TheStrideDoublesWhenTheEntriesWouldPassTheBound) {
    struct Case {
        uint32_t call;
        bool thins;  // before the call's entry is written
        uint8_t shift;
        uint32_t entry;
    };
    // At most 4 entries; calls come one by one.
    const Case cases[] = {{0, false, 0, 0}, {3, false, 0, 3},  {4, true, 1, 2}, {7, false, 1, 3},
                          {8, true, 2, 2},  {15, false, 2, 3}, {16, true, 3, 2}};
    CallThinning thinning(4);
    uint32_t call = 0;
    for (const Case& c : cases) {
        for (; call < c.call; ++call) thinning.thinFor(call);
        EXPECT_EQ(thinning.thinFor(c.call), c.thins) << c.call;
        EXPECT_EQ(thinning.shift(), c.shift) << c.call;
        EXPECT_EQ(thinning.index(c.call), c.entry) << c.call;
        ++call;
    }
    EXPECT_EQ(thinning.firstCall(2), 16u);
    EXPECT_EQ(thinning.lastCall(2), 23u);
    // No bound: never.
    CallThinning none;
    EXPECT_FALSE(none.thinFor(0xFFFFFFFF));
    EXPECT_EQ(none.index(1000), 1000u);
}

TEST(Thinning, PairsBecomeOneAndAnOddLastStaysAlone) {
    const auto sum = [](int a, int b) { return a + b; };
    struct Case {
        std::vector<int> list, thinned;
    };
    const Case cases[] = {
        {{}, {}}, {{7}, {7}}, {{1, 2}, {3}}, {{1, 2, 3, 4}, {3, 7}}, {{1, 2, 3, 4, 5}, {3, 7, 5}}};
    for (Case c : cases) {
        thinPairs(c.list, sum);
        EXPECT_EQ(c.list, c.thinned);
    }
}

}  // namespace
