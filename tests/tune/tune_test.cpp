// The PSID loader and the header report.
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"
#include "tune/tune.h"

namespace {

struct LoadCase {
    const char* what;
    Bytes file;
    bool ok;
    uint16_t loadAddress;
    int32_t dataSize;
    const char* problem;
};

Bytes truncated(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes withVersion(Bytes bytes, uint8_t version) {
    bytes[5] = version;
    return bytes;
}

const Bytes kV1 = psidFile({.version = 1, .data = Bytes(4000, 0xEA)});
const Bytes kV2Embedded = psidFile({.load = 0x10FF, .embedLoad = true, .data = Bytes(100, 0x60)});

const LoadCase kLoads[] = {
    {"version 1", kV1, true, 0x1000, 4000, ""},
    {"version 2 with embedded load address", kV2Embedded, true, 0x10FF, 100, ""},
    {"version 3 has the version 2 words",
     psidFile({.version = 3, .load = 0x10FF, .embedLoad = true, .data = Bytes(100, 0x60)}), true,
     0x10FF, 100, ""},
    {"version 4 has them too",
     psidFile({.version = 4, .load = 0x10FF, .embedLoad = true, .data = Bytes(100, 0x60)}), true,
     0x10FF, 100, ""},
    {"version 5 is read as version 1", withVersion(kV1, 5), true, 0x1000, 4000, ""},
    {"more than 65535 data bytes", psidFile({.data = Bytes(70000, 1)}), true, 0x1000, 65535, ""},
    {"short version 2 words", truncated(kV2Embedded, 123), false, 0, 0,
     "file ends inside the version 2 header"},
    {"one load address byte", truncated(kV2Embedded, 125), false, 0x00FF, 0,
     "file ends inside the load address"},
    {"no program data", truncated(kV2Embedded, 126), false, 0x10FF, 0, "no program data"},
};

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, ReadsWhatIsThere) {
    const LoadCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", c.file);
    Tune tune;
    EXPECT_EQ(loadTune((dir.path / "t.sid").string().c_str(), tune), c.ok);
    EXPECT_EQ(tune.problem, c.problem);
    EXPECT_EQ(tune.header.loadAddress, c.loadAddress);
    EXPECT_EQ(tune.header.dataSize, c.dataSize);
    EXPECT_EQ(tune.data.size(), static_cast<size_t>(c.dataSize));
}

INSTANTIATE_TEST_SUITE_P(Table, LoadTest, testing::ValuesIn(kLoads));

std::string report(const Tune& tune) {
    std::ostringstream out;
    printTuneHeader(out, tune.header);
    return out.str();
}

TEST(HeaderReport, ZeroedRecord) {
    Tune tune;
    EXPECT_FALSE(loadTune("/nonexistent/tune.sid", tune));
    EXPECT_EQ(tune.problem, "No such file or directory");
    EXPECT_EQ(report(tune),
              "Version 1 header:\nID: \nVersion: 0\nData offset: 0x0\nLoad addr: 0x0\n"
              "Init addr: 0x0\nPlay addr: 0x0\nSongs: 0\nStart song: 0\nSpeed: 0\nName: \n"
              "Author: \nCopyright: \n---\n0 bytes of program data in file.\n");
}

TEST(HeaderReport, FieldsAtTheirLimits) {
    ScratchDir dir;
    Bytes file = psidFile({.version = 2, .embedLoad = true, .data = hexBytes("60")});
    std::fill(file.begin() + 18, file.begin() + 22, 0xFF);    // speed: all bits set
    std::fill(file.begin() + 22, file.begin() + 54, 'N');     // name: 32 bytes, no zero
    std::fill(file.begin() + 120, file.begin() + 124, 0xFF);  // reserved
    file[2] = 0;                                              // ID with a zero byte
    writeFile(dir.path / "t.sid", file);
    Tune tune;
    ASSERT_TRUE(loadTune((dir.path / "t.sid").string().c_str(), tune));
    const std::string text = report(tune);
    EXPECT_NE(text.find("\nID: PS\n"), std::string::npos);
    EXPECT_NE(text.find("\nSpeed: -1\n"), std::string::npos);
    EXPECT_NE(text.find("\nName: " + std::string(32, 'N') + "\nAuthor: Tester\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nReserved: 0xffffffff\n---\n1 bytes"), std::string::npos);
    EXPECT_EQ(report(tune), text);  // printing changes nothing
}

TEST(HeaderReport, Version3KeepsTheVersion1Layout) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile({.version = 3, .flags = 0x24, .data = hexBytes("60")}));
    Tune tune;
    ASSERT_TRUE(loadTune((dir.path / "t.sid").string().c_str(), tune));
    EXPECT_EQ(tune.header.flags, 0x24);
    const std::string text = report(tune);
    EXPECT_EQ(text.find("Version 2 extensions:"), std::string::npos);
    EXPECT_NE(text.find("\nVersion: 3\n"), std::string::npos);
}

}  // namespace

namespace {

// A load fills the whole value: a version 1 tune read into the value that
// held a version 2 tune keeps nothing of it (flags, free pages, NTSC).
TEST(Load, NothingOfTheTuneBeforeRemains) {
    ScratchDir dir;
    writeFile(dir.path / "v2.sid", psidFile({.version = 2,
                                             .songs = 3,
                                             .flags = 0x0A,
                                             .reserved = 0x10204200,
                                             .data = Bytes(300, 0x60)}));
    writeFile(dir.path / "v1.sid", psidFile({.version = 1, .data = Bytes(20, 0xEA)}));
    Tune tune;
    ASSERT_TRUE(loadTune((dir.path / "v2.sid").string().c_str(), tune));
    EXPECT_TRUE(tuneIsNtsc(tune.header));
    EXPECT_EQ(tuneFreePages(tune.header).startPage, 0x10);
    ASSERT_TRUE(loadTune((dir.path / "v1.sid").string().c_str(), tune));
    EXPECT_EQ(tune.header.flags, 0);
    EXPECT_EQ(tune.header.reserved, 0u);
    EXPECT_EQ(tune.header.songs, 1);
    EXPECT_FALSE(tuneIsNtsc(tune.header));
    EXPECT_EQ(tuneFreePages(tune.header).startPage, 0);
    EXPECT_EQ(tune.data, Bytes(20, 0xEA));
    // A failed load leaves no data of the tune before either.
    EXPECT_FALSE(loadTune((dir.path / "none.sid").string().c_str(), tune));
    EXPECT_TRUE(tune.data.empty());
    EXPECT_FALSE(tune.decoded);
}

// What the header means: the clock, the speed bits, the chips' blocks.
TEST(HeaderMeaning, ClockSpeedAndChips) {
    TuneHeader h{};
    EXPECT_EQ(tuneClock(h), kPalClock);
    h.version = 2;
    h.flags = 0x08;  // NTSC
    EXPECT_EQ(tuneClock(h), kNtscClock);
    h.flags = 0x0C;  // PAL and NTSC: played as PAL
    EXPECT_EQ(tuneClock(h), kPalClock);
    h.speed = static_cast<int32_t>(0x80000002u);
    EXPECT_FALSE(songTimerDriven(h, 1));
    EXPECT_TRUE(songTimerDriven(h, 2));
    EXPECT_TRUE(songTimerDriven(h, 32));
    EXPECT_TRUE(songTimerDriven(h, 200));  // above 32: bit 31
    const struct {
        int16_t version;
        uint32_t reserved;
        std::vector<uint16_t> blocks;
    } chips[] = {
        {2, 0x00004244, {0xD400}},                  // version 2 has one chip
        {3, 0x00004244, {0xD400, 0xD420}},          // the third byte only
        {4, 0x00004244, {0xD400, 0xD420, 0xD440}},  // and the fourth
        {4, 0x00004242, {0xD400, 0xD420}},          // the same block twice
        {4, 0x00004300, {0xD400}},                  // odd: no block
        {4, 0x00008000, {0xD400}},                  // $D800 is past the window
        {4, 0x00000044, {0xD400}},                  // no second, no third
    };
    for (const auto& c : chips) {
        h.version = c.version;
        h.reserved = c.reserved;
        uint16_t blocks[3];
        const int count = tuneChipBlocks(h, blocks);
        EXPECT_EQ(std::vector<uint16_t>(blocks, blocks + count), c.blocks)
            << std::hex << c.reserved;
    }
}

}  // namespace
