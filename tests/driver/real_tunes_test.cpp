// Every real tune of the shared folder, in both modes, a few calls each.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(RealTunes, BothModesRunAndWriteWellFormedFiles) {
    if (sharedDir().empty()) GTEST_SKIP() << "no shared tunes here";
    ScratchDir dir;
    int tunes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(sharedDir() / "tunes")) {
        if (entry.path().extension() != ".sid") continue;
        ++tunes;
        fs::copy_file(entry.path(), dir.path / "t.sid", fs::copy_options::overwrite_existing);
        for (const char* asmFlag : {"0", "1"}) {
            RunResult r = runVoxdump(dir.path, {"t.sid", "20", "0", asmFlag});
            EXPECT_EQ(r.status, 0) << entry.path();
            EXPECT_TRUE(r.out.ends_with("Finished!\n")) << entry.path();
            const std::string text = readFile(dir.path / (asmFlag[0] == '1' ? "t.dis" : "t.log"));
            EXPECT_NE(text.find(asmFlag[0] == '1' ? "\n#20:\n;" : "\n#20\n"), std::string::npos)
                << entry.path();
        }
    }
    EXPECT_EQ(tunes, 29);
}

}  // namespace
