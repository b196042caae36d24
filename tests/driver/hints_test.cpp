// Lines on standard error that tell a user why a run gave nothing, and the
// diagnostics of play calls that say the same, one line for all of them.
// Standard output and the files stay as they are.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

struct HintCase {
    const char* name;
    Psid tune;
    std::vector<std::string> args;
    std::string err;  // the whole of standard error
};

class Hints : public testing::TestWithParam<HintCase> {};

TEST_P(Hints, OneLineOnStandardError) {
    const HintCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", psidFile(c.tune));
    std::vector<std::string> args{"t.sid"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = runVoxdump(dir.path, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(r.out.ends_with("Finished!\n")) << r.out;
}

// $1000 RTS (the load address, where a plain run starts); init at $1001
// stores the volume, and in $1100 that it ran; play at $100A stores $D400
// once init has run.
const Psid kInitStores{
    .init = 0x1001,
    .play = 0x100A,
    .data = hexBytes("60 a9 0f 8d 00 11 8d 18 d4 60 ad 00 11 f0 03 8d 00 d4 60")};

INSTANTIATE_TEST_SUITE_P(
    Runs, Hints,
    testing::Values(
        HintCase{"SilentFromTheLoadAddress",
                 kInitStores,
                 {"5"},
                 "voxdump: t.sid: nothing was stored into the sound chip from the load "
                 "address; the third argument 1 (start at init), --song or --length starts "
                 "it as a player does\n"},
        HintCase{"StoresFromInit", kInitStores, {"5", "1"}, ""},
        HintCase{"SilentFromInitOfOneOfSeveralSongs",
                 {.play = 0x1001, .songs = 3, .data = hexBytes("60 60")},
                 {"5", "1"},
                 "voxdump: t.sid: nothing was stored into the sound chip; another --song may "
                 "play\n"},
        HintCase{"PlayAddressZero",
                 {.play = 0, .data = hexBytes("60")},
                 {"5"},
                 "voxdump: t.sid: nothing was stored into the sound chip; --machine runs a "
                 "tune with play address 0 with its interrupts, as a C64 does\n"},
        // Opcode $53 in every play call: one line for calls 1 to 5, after the
        // start routine's own; the stores of the start routine count.
        HintCase{"RepeatedDiagnosticsCollapse",
                 {.play = 0x1005, .data = hexBytes("8d 18 d4 60 60 53")},
                 {"5"},
                 "voxdump: play calls #1 to #5: undocumented opcode 53 at 1005; call ended "
                 "(--undocumented runs it) (5 times)\n"},
        HintCase{"DifferentDiagnosticsStaySeparate",
                 {.play = 0x1005, .data = hexBytes("8d 18 d4 60 60 53")},
                 {"1"},
                 "voxdump: play call #1: undocumented opcode 53 at 1005; call ended "
                 "(--undocumented runs it)\n"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
