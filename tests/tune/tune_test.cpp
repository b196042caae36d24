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
    tuneHeader() = TuneHeader{};
    allocateLoadBuffer();
    EXPECT_EQ(loadTune((dir.path / "t.sid").string().c_str()), c.ok);
    EXPECT_EQ(tuneLoadProblem(), c.problem);
    EXPECT_EQ(tuneHeader().loadAddress, c.loadAddress);
    EXPECT_EQ(tuneHeader().dataSize, c.dataSize);
}

INSTANTIATE_TEST_SUITE_P(Table, LoadTest, testing::ValuesIn(kLoads));

std::string report() {
    std::ostringstream out;
    printTuneHeader(out);
    return out.str();
}

TEST(HeaderReport, ZeroedRecord) {
    tuneHeader() = TuneHeader{};
    EXPECT_FALSE(loadTune("/nonexistent/tune.sid"));
    EXPECT_EQ(tuneLoadProblem(), "No such file or directory");
    EXPECT_EQ(report(),
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
    allocateLoadBuffer();
    ASSERT_TRUE(loadTune((dir.path / "t.sid").string().c_str()));
    const std::string text = report();
    EXPECT_NE(text.find("\nID: PS\n"), std::string::npos);
    EXPECT_NE(text.find("\nSpeed: -1\n"), std::string::npos);
    EXPECT_NE(text.find("\nName: " + std::string(32, 'N') + "\nAuthor: Tester\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nReserved: 0xffffffff\n---\n1 bytes"), std::string::npos);
    EXPECT_EQ(report(), text);  // printing changes nothing
}

TEST(HeaderReport, Version3KeepsTheVersion1Layout) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile({.version = 3, .flags = 0x24, .data = hexBytes("60")}));
    allocateLoadBuffer();
    ASSERT_TRUE(loadTune((dir.path / "t.sid").string().c_str()));
    EXPECT_EQ(tuneHeader().flags, 0x24);
    const std::string text = report();
    EXPECT_EQ(text.find("Version 2 extensions:"), std::string::npos);
    EXPECT_NE(text.find("\nVersion: 3\n"), std::string::npos);
}

}  // namespace
