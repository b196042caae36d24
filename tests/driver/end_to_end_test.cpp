// The real binary on PSID files made here: whole console output and whole
// output files.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Start routine LDA #$0F, STA $D418, RTS; play routine at $1006
// LDA #$20, STA $D400, INC $D401, RTS.
const Psid kLogTune{.play = 0x1006, .data = hexBytes("a9 0f 8d 18 d4 60 a9 20 8d 00 d4 ee 01 d4 60")};

// Start routine LDA #$00, STA $D418, RTS; play routine at $1006
// LDA $1100, STA $D401, RTS.
const Psid kDisTune{.play = 0x1006, .data = hexBytes("a9 00 8d 18 d4 60 ad 00 11 8d 01 d4 60")};

const char* const kStartTrace =
    ";1000   a9 00      LDA #00\n;1002   8d 18 d4   STA D418\n;1005   60         RTS \n"
    ";1   00         BRK \n";
const char* const kPlayTrace =
    ";1006   ad 00 11   LDA 1100\n;1009   8d 01 d4   STA D401\n;100c   60         RTS \n"
    ";1   00         BRK \n";

RunResult runTune(const ScratchDir& dir, const Psid& tune, std::vector<std::string> args) {
    writeFile(dir.path / "demo.sid", psidFile(tune));
    args.insert(args.begin(), "demo.sid");
    return runVoxdump(dir.path, args);
}

TEST(EndToEnd, UsageText) {
    ScratchDir dir;
    const std::string usage =
        "\nUsage: voxdump filename [calls] [init] [asm]\n"
        "calls ... number of play-routine calls, default is 3000\n"
        "init  ... start execution at init address instead of load address, default is 0\n"
        "asm   ... write disassembly instead of SID register writes, default is 0\n"
        "Example: voxdump demo.sid 6000\n"
        "Runs 6000 play-routine calls, SID register writes are written to demo.log\n"
        "Example: voxdump demo.sid 10 0 1\n"
        "Runs 10 play-routine calls, execution at load address, disassembly to demo.dis\n";
    for (auto args : {std::vector<std::string>{}, {"-h"}, {"--help"}}) {
        RunResult r = runVoxdump(dir.path, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(EndToEnd, LogModeWorkedExample) {
    ScratchDir dir;
    RunResult r = runTune(dir, kLogTune, {"2"});
    const std::string header = headerReport(kLogTune);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header +
                         "Starting execution at load address!\n"
                         "Logging 2 play-routine calls to demo.log!\nFinished!\n");
    EXPECT_EQ(readFile(dir.path / "demo.log"),
              header +
                  "\n\n00006 d418 0f\n\n#1\n00006 d400 20\n00012 d401 01\n\n#2\n"
                  "00006 d400 20\n00012 d401 02\n");
    EXPECT_FALSE(fs::exists(dir.path / "demo.dis"));
}

TEST(EndToEnd, DisassemblyModeWorkedExample) {
    ScratchDir dir;
    RunResult r = runTune(dir, kDisTune, {"2", "0", "1"});
    const std::string header = headerReport(kDisTune);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header +
                         "Starting execution at load address!\n"
                         "Logging disassembly to demo.dis!\nFinished!\n");
    EXPECT_EQ(readFile(dir.path / "demo.dis"), header + "\nload:\n" + kStartTrace + "\n#1:\n" +
                                                   kPlayTrace + "\n#2:\n" + kPlayTrace);
    EXPECT_FALSE(fs::exists(dir.path / "demo.log"));
}

TEST(EndToEnd, StartAtInitAndCallCounts) {
    ScratchDir dir;
    Psid tune = kDisTune;
    tune.load = 0x0FFE;  // two bytes of $EA before the start routine at $1000
    tune.data.insert(tune.data.begin(), {0xEA, 0xEA});
    const std::string header = headerReport(tune);
    RunResult r = runTune(dir, tune, {"1", "1", "1"});
    EXPECT_EQ(r.out, header + "Starting execution at init address!\n"
                              "Logging disassembly to demo.dis!\nFinished!\n");
    EXPECT_EQ(readFile(dir.path / "demo.dis"),
              header + "\ninit:\n" + kStartTrace + "\n#1:\n" + kPlayTrace);

    r = runTune(dir, tune, {"0", "0", "1"});  // start routine only, from the load address
    EXPECT_EQ(readFile(dir.path / "demo.dis"), header + "\nload:\n;ffe   ea         NOP \n"
                                                        ";fff   ea         NOP \n" + kStartTrace);
    r = runTune(dir, kLogTune, {"abc", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.path / "demo.log"), headerReport(kLogTune) + "\n\n00006 d418 0f\n");
}

TEST(EndToEnd, EndlessCallsEndAndTheRunGoesOn) {
    ScratchDir dir;
    // Start routine hits opcode $53; the play routine writes $D418 and then
    // polls the raster line for ever.
    Psid tune{.play = 0x1002, .data = hexBytes("ea 53 8d 18 d4 ad 12 d0 f0 fb")};
    RunResult r = runTune(dir, tune, {"2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "voxdump: start routine: undocumented opcode 53 at 1001; call ended\n"
              "voxdump: play call #1: endless loop at 1005; call ended\n"
              "voxdump: play call #2: endless loop at 1005; call ended\n");
    EXPECT_EQ(readFile(dir.path / "demo.log"),
              headerReport(tune) + "\n\n\n#1\n00004 d418 00\n\n#2\n00004 d418 00\n");

    r = runTune(dir, tune, {"1", "0", "1"});
    EXPECT_EQ(r.err,
              "voxdump: start routine: undocumented opcode 53 at 1001; call ended\n"
              "voxdump: play call #1: endless loop at 1005; call ended\n");
    const std::string dis = readFile(dir.path / "demo.dis");
    EXPECT_NE(dis.find("\nload:\n;1000   ea         NOP \n;1001   53         unknown \n\n#1:\n"
                       ";1002   8d 18 d4   STA D418\n;1005   ad 12 d0   LDA D012\n"),
              std::string::npos);
    EXPECT_TRUE(dis.ends_with(";1005   ad 12 d0   LDA D012\n;1008   f0 fb      BEQ FB\n"));
}

TEST(EndToEnd, BumpInBothModes) {
    ScratchDir dir;
    Psid tune{.play = 0x1000, .data = hexBytes("8d 94 50 60")};
    for (const char* asmFlag : {"0", "1"}) {
        RunResult r = runTune(dir, tune, {"1", "0", asmFlag});
        EXPECT_TRUE(r.out.ends_with("!\nBUMP\nBUMP\nFinished!\n")) << r.out;
    }
}

}  // namespace
