// The write path: what is logged, what prints BUMP, and the .log lines.
#include <gtest/gtest.h>

#include "cpu/cpu_state.h"
#include "sidlog/mem_write.h"
#include "sidlog/sid_log.h"
#include "support/test_support.h"
#include "tune/tune.h"

namespace {

// Runs the code at $1000 in the log mode; returns the log's lines after the
// header report (whose size is fixed for a zeroed record).
std::string logOf(const char* code) {
    ScratchDir dir;
    loadCode(code, 0x1000);
    WritePath path;
    path.attach(true);
    SidLog log;
    log.open((dir.path / "t.log").string(), TuneHeader{});
    path.listen(log.listener());
    cpuRun(0);
    log.marker();
    EXPECT_TRUE(log.close());
    std::string text = readFile(dir.path / "t.log");
    return text.substr(text.find("data in file.\n\n\n") + 16);
}

TEST(SidLog, WindowEdgesAndFormats) {
    const struct {
        const char* code;
        const char* log;
    } cases[] = {
        {"8d 00 d4 8d ff d7 8d ff d3 8d 00 d8", "00004 d400 00\n00008 d7ff 00\n"},
        {"a2 01 a9 41 9d ff d3 9d ff d7", "00009 d400 41\n"},           // abs,X over both edges
        {"a9 0f 8d 18 d4 ee 18 d4", "00006 d418 0f\n00012 d418 10\n"},  // RMW writes once
        {"a2 03 ca d0 fd 8e 00 d4", "00018 d400 00\n"},                 // branches cost 2
        {"a9 ff 48 08 20 08 10 00 8d 1b d4", "00018 d41b ff\n"},        // pushes are not logged
    };
    for (const auto& c : cases) EXPECT_EQ(logOf(c.code), std::string(c.log) + "\n#1\n") << c.code;
}

TEST(SidLog, LongTimesAndMarkers) {
    ScratchDir dir;
    SidLog log;
    log.open((dir.path / "t.log").string(), TuneHeader{});
    log.write(100000, 0xD404, 0x41);
    for (int k = 0; k < 12; ++k) log.marker();
    ASSERT_TRUE(log.close());
    std::string text = readFile(dir.path / "t.log");
    EXPECT_NE(text.find("\n\n\n100000 d404 41\n\n#1\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\n#11\n\n#12\n"));
}

// A store to $5094 prints BUMP and is stored, in a path that prints it; no
// listener hears it, and a collection's path (no BUMP) prints nothing.
TEST(WritePath, BumpPrintsAndStores) {
    for (const bool bump : {true, false}) {
        loadCode("a9 7e 8d 94 50");  // LDA #$7E, STA $5094
        WritePath path;
        path.attach(bump);
        int heard = 0;
        path.listen({[](void* count, uint32_t, uint16_t, uint8_t) { ++*static_cast<int*>(count); },
                     &heard});
        testing::internal::CaptureStdout();
        cpuRun(0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), bump ? "BUMP\n" : "");
        EXPECT_EQ(cpu.memory[0x5094], 0x7E);
        EXPECT_EQ(heard, 0);
    }
}

// Listeners hear the window's stores in the order they were added; once the
// sound chip is a machine's, only what the chip hands over is heard.
TEST(WritePath, ListenersInOrderAndTheChipsStores) {
    loadCode("a9 01 8d 00 d4 60");  // LDA #1, STA $D400
    WritePath path;
    path.attach(true);
    std::string heard;
    const auto hear = [](void* text, uint32_t time, uint16_t address, uint8_t value) {
        *static_cast<std::string*>(text) += std::to_string(time) + " " + std::to_string(address) +
                                            " " + std::to_string(value) + ";";
    };
    path.listen({hear, &heard});
    path.listen({hear, &heard});
    cpuRun(0);
    EXPECT_EQ(heard, "6 54272 1;6 54272 1;");
    heard.clear();
    path.fromChip();
    cpuSetPc(0x1000);
    cpuRun(0);
    EXPECT_EQ(heard, "");
    path.sound(7, 0xD418, 0x0F);
    EXPECT_EQ(heard, "7 54296 15;7 54296 15;");
}

}  // namespace
