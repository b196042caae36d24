// What differs between the systems: path separators, and the files written
// as bytes, never as text.
#include <gtest/gtest.h>

#include <string>

#include "driver/arguments.h"
#include "platform/paths.h"
#include "platform/raw_file.h"
#include "support/test_support.h"

namespace {

bool windowsPaths() {
    return std::string(pathSeparators()).find('\\') != std::string::npos;
}

TEST(Paths, OutputNamesOnEitherSeparator) {
    const struct {
        const char* tune;
        const char* windows;  // the .log's name where "\" separates folders
        const char* posix;    // and where it is a character like any other
    } cases[] = {
        {"demo.sid", "demo.log", "demo.log"},
        {"music/demo.sid", "music/demo.log", "music/demo.log"},
        {"music\\demo.sid", "music\\demo.log", "music\\demo.log"},
        {"music\\ab", "music\\ab.log", "musiclog"},
        {"C:ab", "C:ab.log", "Clog"},
        {"C:\\tunes\\x", "C:\\tunes\\x.log", "C:\\tunelog"},
        {"a/b\\cd", "a/b\\cd.log", "a/blog"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outputName(c.tune, "log"), windowsPaths() ? c.windows : c.posix) << c.tune;
}

TEST(RawFile, LineEndsStayAsWritten) {
    ScratchDir dir;
    const std::string name = (dir.path / "t.txt").string();
    int error = 0;
    const int file = rawCreate(name.c_str(), error);
    ASSERT_GE(file, 0) << error;
    ASSERT_TRUE(rawWrite(file, "a\nb\r\n\x1a", 6, error));
    ASSERT_TRUE(rawClose(file, error));
    EXPECT_EQ(readFile(dir.path / "t.txt"), "a\nb\r\n\x1a");
}

// A tune named with "\" on Windows: the outputs go beside it, and the refusal
// to overwrite the tune sees through the separator.
TEST(Paths, BackslashOnWindows) {
    if (!windowsPaths()) GTEST_SKIP() << "\"\\\" separates folders on Windows only";
    ScratchDir dir;
    std::filesystem::create_directory(dir.path / "sub");
    writeFile(dir.path / "sub" / "t.sid", psidFile({.data = hexBytes("60")}));
    RunResult r = runVoxdump(dir.path, {"sub\\t.sid", "1", "--table"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path / "sub" / "t.log"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "sub" / "t.tab"));
    writeFile(dir.path / "sub" / "x.log", psidFile({.data = hexBytes("60")}));
    r = runVoxdump(dir.path, {"sub\\x.log", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "voxdump: sub\\x.log: is the tune file itself; refusing to overwrite it\n");
}

}  // namespace
