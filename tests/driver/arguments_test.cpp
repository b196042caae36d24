#include <gtest/gtest.h>

#include "driver/arguments.h"

namespace {

// The call counts the end-to-end matrix does not run.
TEST(Arguments, CallCountLimits) {
    const struct {
        const char* text;
        bool ok;
        int32_t count;
    } cases[] = {{"2147483647", true, 2147483647},
                 {"2147483648", false, -1},
                 {"-0", true, 0},
                 {"\t\n5", true, 5},
                 {"-abc", true, 0},
                 {"", true, 0}};
    for (const auto& c : cases) {
        int32_t count = -1;
        EXPECT_EQ(parseCallCount(c.text, count), c.ok) << c.text;
        EXPECT_EQ(count, c.count) << c.text;
    }
}

// The flags and the other arguments are run end to end in the bad-input matrix.
TEST(Arguments, OutputNames) {
    EXPECT_EQ(outputName("demo.sid", "log"), "demo.log");
    EXPECT_EQ(outputName("tune.psid", "dis"), "tune.pdis");
    EXPECT_EQ(outputName("tune", "log"), "tlog");
    EXPECT_EQ(outputName("dir.x/ab", "log"), "dir.x/ab.log");
    EXPECT_EQ(outputName("abc", "dis"), "dis");
}

}  // namespace
