// Broken and hostile input against the real binary. Every row checks the exit
// status, standard error, the end of standard output and of the output file,
// and that the tune file is unchanged afterwards.
#include <gtest/gtest.h>

#include <random>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

enum class Setup { TuneFile, TuneIsDirectory, NoTune, OutputIsDirectory, OutputLinksToTune,
                   OutputLinksToFull };

struct BadInput {
    std::string what;
    Bytes tune;
    std::vector<std::string> args;  // args[0] is the tune's name
    int status;
    std::string err;  // exact; "*": any number of "voxdump: " lines
    std::string outTail;
    std::string outputTail;  // of t.log or t.dis; "-" when no output file may exist
    Setup setup = Setup::TuneFile;
};

const std::string kFinished = "Finished!\n";
const Bytes kValid = psidFile({.embedLoad = true, .data = hexBytes("60 60")});
Bytes tune(Psid t) { return psidFile(t); }

std::vector<BadInput> rows() {
    std::vector<BadInput> r;
    // Every cut of a valid version 2 tune with an embedded load address, up to
    // one byte past the first program byte.
    for (size_t size = 0; size <= 127; ++size) {
        const char* why = size < 118   ? "file ends inside the header"
                          : size < 124 ? "file ends inside the version 2 header"
                          : size < 126 ? "file ends inside the load address"
                          : size < 127 ? "no program data"
                                       : nullptr;
        r.push_back({"cut at " + std::to_string(size), Bytes(kValid.begin(), kValid.begin() + long(size)),
                     {"t.sid", "2"}, why ? 1 : 0,
                     why ? "voxdump: t.sid: " + std::string(why) + "\n" : "",
                     kFinished, "\n#2\n"});
    }
    std::mt19937 random(7);
    Bytes noise(200 * 1024);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    const Bytes spin = tune({.play = 0x1000, .data = hexBytes("ad 12 d0 f0 fb")});
    r.insert(r.end(), {
        {"tune is a directory", {}, {"t.sid", "1"}, 1, "voxdump: t.sid: Is a directory\n", kFinished,
         "\n#1\n", Setup::TuneIsDirectory},
        {"tune does not exist", {}, {"t.sid", "1"}, 1,
         "voxdump: t.sid: No such file or directory\n", kFinished, "\n#1\n", Setup::NoTune},
        {"200 KB of random bytes", noise, {"t.sid", "3"}, 0, "*", kFinished, ""},
        {"65535-byte cap", tune({.data = Bytes(70000, 0xEA)}), {"t.sid", "1"}, 0,
         "voxdump: t.sid: program data at 1000 runs past ffff; 4095 bytes dropped\n",
         kFinished, "\n#1\n"},
        {"data past ffff", tune({.load = 0xFFF0, .init = 0xFFF0, .play = 0xFFF0, .data = Bytes(32, 0x60)}),
         {"t.sid", "1"}, 0, "voxdump: t.sid: program data at fff0 runs past ffff; 16 bytes dropped\n",
         kFinished, "\n#1\n"},
        {"load address 0000 embedded", tune({.load = 0, .embedLoad = true, .data = hexBytes("ea ea 00")}),
         {"t.sid", "1", "0", "1"}, 0, "", kFinished, "\n#1:\n;1003   00         BRK \n"},
        {"play at $00 bytes", tune({.play = 0x2000, .data = hexBytes("60")}), {"t.sid", "2"}, 0, "",
         kFinished, "\n#1\n\n#2\n"},
        {"play at an undocumented opcode", tune({.play = 0x1001, .data = hexBytes("60 ff")}),
         {"t.sid", "1"}, 0, "voxdump: play call #1: undocumented opcode ff at 1001; call ended\n",
         kFinished, "\n#1\n"},
        {"play at ffff", tune({.load = 0xFFFF, .init = 0xFFFF, .play = 0xFFFF, .data = hexBytes("ea")}),
         {"t.sid", "1", "1", "1"}, 0, "", kFinished, "\n#1:\n;ffff   ea         NOP \n;0   00         BRK \n"},
        {"output is a directory", kValid, {"t.sid", "1"}, 1,
         "voxdump: t.log: cannot create: Is a directory\n", kFinished, "-", Setup::OutputIsDirectory},
        {"output links to the tune", kValid, {"t.sid", "1"}, 1,
         "voxdump: t.log: is the tune file itself; refusing to overwrite it\n", "", "-",
         Setup::OutputLinksToTune},
        {"tune named x.log", kValid, {"x.log", "1"}, 1,
         "voxdump: x.log: is the tune file itself; refusing to overwrite it\n", "", "-"},
        {"tune named x.dis", kValid, {"x.dis", "1", "0", "1"}, 1,
         "voxdump: x.dis: is the tune file itself; refusing to overwrite it\n", "", "-"},
        {"full disk", kValid, {"t.sid", "1"}, 1,
         "voxdump: t.log: write failed: No space left on device\n", kFinished, "-",
         Setup::OutputLinksToFull},
        {"calls 0", kValid, {"t.sid", "0"}, 0, "", kFinished, "bytes of program data in file.\n\n\n"},
        {"calls abc", kValid, {"t.sid", "abc"}, 0, "", kFinished, "in file.\n\n\n"},
        {"calls -1", kValid, {"t.sid", "-1"}, 2, "voxdump: invalid number of calls '-1'\n", "", "-"},
        {"calls 99999999999", kValid, {"t.sid", "99999999999"}, 2,
         "voxdump: invalid number of calls '99999999999'\n", "", "-"},
        {"calls 12abc", kValid, {"t.sid", "12abc"}, 0, "", kFinished, "\n#11\n\n#12\n"},
        {"calls with a space", kValid, {"t.sid", " 7"}, 0, "", kFinished, "\n#7\n"},
        {"calls +3", kValid, {"t.sid", "+3"}, 0, "", kFinished, "\n#3\n"},
        {"asm flag 10", kValid, {"t.sid", "1", "10", "10"}, 0, "", kFinished, "\n#1:\n;1003   00         BRK \n"},
        {"asm flag 1x", kValid, {"t.sid", "1", "0", "1x"}, 0, "", kFinished, "\n#1:\n;1003   00         BRK \n"},
        {"asm flag 2", kValid, {"t.sid", "1", "1", "2"}, 0, "", kFinished, "\n#1\n"},
        {"asm flag empty", kValid, {"t.sid", "1", "", ""}, 0, "", kFinished, "\n#1\n"},
        {"raster poll", spin, {"t.sid", "1"}, 0,
         "voxdump: start routine: endless loop at 1000; call ended\n"
         "voxdump: play call #1: endless loop at 1000; call ended\n", kFinished, "\n#1\n"},
        // INC $FB / BNE / INC $FC / JMP $1000
        {"16-bit counter", tune({.play = 0x1001, .data = hexBytes("60 e6 fb d0 fc e6 fc 4c 01 10")}),
         {"t.sid", "1"}, 0, "voxdump: play call #1: endless loop at 1001; call ended\n", kFinished,
         "\n#1\n"},
        {"same SID register for ever", tune({.play = 0x1001, .data = hexBytes("60 8d 18 d4 4c 01 10")}),
         {"t.sid", "1"}, 0, "voxdump: play call #1: endless loop at 1001; call ended\n", kFinished,
         "\n#1\n00004 d418 00\n00011 d418 00\n00018 d418 00\n"},
        {"non-zero byte at 0001", tune({.play = 0x1004, .data = hexBytes("a9 60 85 01 60")}), {"t.sid", "1"}, 0,
         "voxdump: start routine: endless loop at 0001; call ended\n"
         "voxdump: play call #1: endless loop at 0001; call ended\n", kFinished, "\n#1\n"},
    });
    return r;
}

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.what; }

class BadInputTest : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputTest, HandledWithNothingLost) {
    const BadInput& c = GetParam();
    ScratchDir dir;
    const fs::path tunePath = dir.path / c.args[0];
    const fs::path output = dir.path / (c.args.size() >= 4 && c.args[3][0] == '1' ? "t.dis" : "t.log");
    if (c.setup == Setup::TuneIsDirectory) fs::create_directory(tunePath);
    if (c.setup != Setup::TuneIsDirectory && c.setup != Setup::NoTune) writeFile(tunePath, c.tune);
    if (c.setup == Setup::OutputIsDirectory) fs::create_directory(output);
    if (c.setup == Setup::OutputLinksToTune) fs::create_symlink(tunePath, output);
    if (c.setup == Setup::OutputLinksToFull) fs::create_symlink("/dev/full", output);

    RunResult r = runVoxdump(dir.path, c.args);
    EXPECT_EQ(r.status, c.status);
    if (c.err != "*") {
        EXPECT_EQ(r.err, c.err);
    } else {
        for (size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1) {
            EXPECT_EQ(r.err.compare(at, 9, "voxdump: "), 0) << r.err;
        }
    }
    EXPECT_TRUE(r.out.ends_with(c.outTail)) << r.out;
    if (c.outputTail == "-") {
        EXPECT_TRUE(c.setup != Setup::TuneFile || !fs::exists(output) || output == tunePath);
    } else {
        EXPECT_TRUE(readFile(output).ends_with(c.outputTail)) << readFile(output);
    }
    if (fs::is_regular_file(tunePath)) {
        EXPECT_EQ(readFile(tunePath), std::string(c.tune.begin(), c.tune.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, BadInputTest, testing::ValuesIn(rows()),
                         [](const auto& p) { return "row" + std::to_string(p.index); });

}  // namespace
