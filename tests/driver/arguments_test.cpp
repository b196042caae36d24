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

TEST(Arguments, OutputNamesAndFlags) {
    EXPECT_EQ(outputName("demo.sid", "log"), "demo.log");
    EXPECT_EQ(outputName("tune.psid", "dis"), "tune.pdis");
    EXPECT_EQ(outputName("tune", "log"), "tlog");
    EXPECT_EQ(outputName("dir.x/ab", "log"), "dir.x/ab.log");
    EXPECT_EQ(outputName("abc", "dis"), "dis");
    for (const char* yes : {"1", "10", "1x"}) EXPECT_TRUE(parseFlag(yes)) << yes;
    for (const char* no : {"0", "2", "", " 1"}) EXPECT_FALSE(parseFlag(no)) << no;

    RunSettings s;
    std::string bad;
    const char* args[] = {"voxdump", "demo.sid", "5", "1"};
    ASSERT_EQ(parseArguments(4, args, s, bad), Command::Run);
    EXPECT_EQ(s.callCount, 5);
    EXPECT_TRUE(s.startAtInit);
    EXPECT_FALSE(s.disassemble);
    EXPECT_EQ(s.logFileName, "demo.log");
}

}  // namespace
