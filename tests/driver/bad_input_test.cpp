// Broken and hostile input against the real binary. Every row checks the exit
// status, standard error, the end of standard output and of the output file,
// and that the tune file is unchanged afterwards.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "support/test_support.h"

namespace {

// What a run that stored nothing into the sound chip says.
const std::string kSilentFromLoad =
    "voxdump: t.sid: nothing was stored into the sound chip from the load address; the third "
    "argument 1 (start at init), --song or --length starts it as a player does\n";
const std::string kSilentRsid =
    "voxdump: t.sid: nothing was stored into the sound chip; --machine runs an RSID tune with its "
    "interrupts, as a C64 does\n";

namespace fs = std::filesystem;

enum Setup { Plain, TuneIsDir, NoTune, OutputIsDir, OutputLinksToTune, OutputLinksToFull };

struct Row {
    std::string what;
    Bytes tune;
    std::string args;  // separated by "|"; the first is the tune's name
    int status;
    std::string err;         // exact; "*": any number of "voxdump: " lines
    std::string outTail;     // standard output ends with this
    std::string outputTail;  // t.log or t.dis ends with this; "-": it must not exist
    Setup setup = Plain;
    std::string target = "";  // the file the setup acts on; empty: the mode's own file
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

Bytes tune(uint16_t load, uint16_t init, uint16_t play, const char* code) {
    return psidFile({.load = load, .init = init, .play = play, .data = hexBytes(code)});
}

const std::string kEnd = "Finished!\n";
const Bytes kValid = psidFile({.embedLoad = true, .data = hexBytes("60 60")});
const char* const kRefused = ": is the tune file itself; refusing to overwrite it\n";

std::vector<Row> rows() {
    std::vector<Row> r;
    // Every cut of a valid version 2 tune with an embedded load address, up to
    // one byte past the first program byte.
    for (long size = 0; size <= 127; ++size) {
        const char* why = size < 118   ? "file ends inside the header"
                          : size < 124 ? "file ends inside the version 2 header"
                          : size < 126 ? "file ends inside the load address"
                                       : "no program data";
        std::string err =
            size < 127 ? "voxdump: t.sid: " + std::string(why) + "\n" : kSilentFromLoad;
        r.push_back({"cut at " + std::to_string(size), Bytes(kValid.begin(), kValid.begin() + size),
                     "t.sid|2", size < 127, err, kEnd, "\n#2\n"});
    }
    std::mt19937 random(7);
    Bytes noise(200 * 1024);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    Bytes embeddedZero = psidFile({.load = 0, .embedLoad = true, .data = hexBytes("ea ea 00")});
    // clang-format off
    r.insert(r.end(), {
        {"tune is a directory", {}, "t.sid|1", 1, "voxdump: t.sid: Is a directory\n", kEnd, "\n#1\n", TuneIsDir},
        {"no tune file", {}, "t.sid|1", 1, "voxdump: t.sid: No such file or directory\n", kEnd, "\n#1\n", NoTune},
        {"empty file", {}, "t.sid|1", 1, "voxdump: t.sid: file ends inside the header\n", kEnd, "\n#1\n"},
        {"200 KB of random bytes", noise, "t.sid|3", 0, "*", kEnd, ""},
        {"65535-byte cap", psidFile({.data = Bytes(70000, 0xEA)}), "t.sid|1", 0,
         "voxdump: t.sid: program data at 1000 runs past ffff; 4095 bytes dropped\n", kEnd, "\n#1\n"},
        {"data past ffff", psidFile({.load = 0xFFF0, .init = 0xFFF0, .play = 0xFFF0, .data = Bytes(32, 0x60)}), "t.sid|1", 0,
         "voxdump: t.sid: program data at fff0 runs past ffff; 16 bytes dropped\n", kEnd, "\n#1\n"},
        {"load address 0000 embedded", embeddedZero, "t.sid|1|0|1", 0, kSilentFromLoad, kEnd, "\n#1:\n;1003   00         BRK \n"},
        {"play at $00 bytes", tune(0x1000, 0x1000, 0x2000, "60"), "t.sid|2", 0, kSilentFromLoad, kEnd, "\n#1\n\n#2\n"},
        {"play at an undocumented opcode", tune(0x1000, 0x1000, 0x1001, "60 ff"), "t.sid|1", 0,
         "voxdump: play call #1: undocumented opcode ff at 1001; call ended (--undocumented runs it)\n", kEnd, "\n#1\n"},
        {"play at a JAM", tune(0x1000, 0x1000, 0x1001, "60 02"), "t.sid|1", 0,
         "voxdump: play call #1: undocumented opcode 02 at 1001; call ended\n", kEnd, "\n#1\n"},
        {"play at a JAM, undocumented opcodes run", tune(0x1000, 0x1000, 0x1001, "60 02"), "t.sid|1|--undocumented", 0,
         "voxdump: play call #1: jam opcode 02 at 1001; call ended\n", kEnd, "\n#1\n"},
        {"not a tune", psidFile({.id = "XXXX", .data = hexBytes("60")}), "t.sid|1", 0,
         "voxdump: t.sid: not a PSID or RSID file; running it anyway\n", kEnd, "\n#1\n"},
        {"an RSID file", psidFile({.id = "RSID", .data = hexBytes("60")}), "t.sid|1", 0, kSilentRsid, kEnd, "\n#1\n"},
        {"unknown option", kValid, "t.sid|--foo", 2, "voxdump: unknown option '--foo'\n", "", "-"},
        {"song 0", kValid, "t.sid|--song|0", 2, "voxdump: invalid song number '0'\n", "", "-"},
        {"cycle budget 0", kValid, "t.sid|1|--max-cycles=0|--table", 2, "voxdump: invalid cycle budget '0'\n", "", "-"},
        {"song past the tune's songs", kValid, "t.sid|--song=2|1", 2, "voxdump: t.sid: no song 2; the tune has 1 song\n", "", "-"},
        {"tune named x.tab", kValid, "x.tab|1|--table", 1, std::string("voxdump: x.tab") + kRefused, "", "-"},
        {"tune named x.svg", kValid, "x.svg|1|--roll", 1, std::string("voxdump: x.svg") + kRefused, "", "-"},
        {"tune named x.mid", kValid, "x.mid|1|0|1|--midi", 1, std::string("voxdump: x.mid") + kRefused, "", "-"},
        {"table on a full disk", kValid, "t.sid|1|--table", 1, "voxdump: t.tab: write failed: No space left on device\n", kEnd, "\n#1\n", OutputLinksToFull, "t.tab"},
        {"picture on a full disk", kValid, "t.sid|1|--roll", 1, "voxdump: t.svg: write failed: No space left on device\n", kEnd, "\n#1\n", OutputLinksToFull, "t.svg"},
        {"MIDI file on a full disk", kValid, "t.sid|1|--midi", 1, "voxdump: t.mid: write failed: No space left on device\n", kEnd, "\n#1\n", OutputLinksToFull, "t.mid"},
        {"a folder in the table's way", kValid, "t.sid|1|--table|--roll", 1, "voxdump: t.tab: cannot create: Is a directory; nothing played\n", "", "-", OutputIsDir, "t.tab"},
        {"picture linked to the tune", kValid, "t.sid|1|--roll", 1, std::string("voxdump: t.svg") + kRefused, "", "-", OutputLinksToTune, "t.svg"},
        {"init and play at ffff", tune(0xFFFF, 0xFFFF, 0xFFFF, "ea"), "t.sid|1|1|1", 0, "", kEnd,
         "\n#1:\n;ffff   ea         NOP \n;0   00         BRK \n"},
        {"output is a directory", kValid, "t.sid|1", 1, "voxdump: t.log: cannot create: Is a directory\n", kEnd, "-", OutputIsDir},
        {"output links to the tune", kValid, "t.sid|1", 1, std::string("voxdump: t.log") + kRefused, "", "-", OutputLinksToTune},
        {"tune named x.log", kValid, "x.log|1", 1, std::string("voxdump: x.log") + kRefused, "", "-"},
        {"tune named x.dis", kValid, "x.dis|1|0|1", 1, std::string("voxdump: x.dis") + kRefused, "", "-"},
        {"full disk", kValid, "t.sid|1", 1, "voxdump: t.log: write failed: No space left on device\n", kEnd, "-", OutputLinksToFull},
        {"calls 0", kValid, "t.sid|0", 0, "", kEnd, "bytes of program data in file.\n\n\n"},
        {"calls abc", kValid, "t.sid|abc", 0, "", kEnd, "in file.\n\n\n"},
        {"calls 0 traced", kValid, "t.sid|0|0|1", 0, "", kEnd, "\nload:\n;1000   60         RTS \n;1   00         BRK \n"},
        {"calls -1", kValid, "t.sid|-1", 2, "voxdump: invalid number of calls '-1'\n", "", "-"},
        {"calls 99999999999", kValid, "t.sid|99999999999", 2, "voxdump: invalid number of calls '99999999999'\n", "", "-"},
        {"calls 12abc", kValid, "t.sid|12abc", 0, kSilentFromLoad, kEnd, "\n#11\n\n#12\n"},
        {"calls with a space", kValid, "t.sid| 7", 0, kSilentFromLoad, kEnd, "\n#7\n"},
        {"calls +3", kValid, "t.sid|+3", 0, kSilentFromLoad, kEnd, "\n#3\n"},
        {"flags 10", kValid, "t.sid|1|10|10", 0, "", kEnd, "\ninit:\n;1000   60         RTS \n;1   00         BRK \n\n#1:\n;1003   00         BRK \n"},
        {"flags 1x", kValid, "t.sid|1|0|1x", 0, kSilentFromLoad, kEnd, "\n#1:\n;1003   00         BRK \n"},
        {"asm flag 2", kValid, "t.sid|1|1|2", 0, "", kEnd, "\n#1\n"},
        {"empty flags", kValid, "t.sid|1||", 0, kSilentFromLoad, kEnd, "\n#1\n"},
        {"short name", kValid, "ab|1", 0, std::string("voxdump: ab: nothing was stored into the sound chip from the load address; the third argument 1 (start at init), --song or --length starts it as a player does\n"), "ab.log!\n" + kEnd, "-"},
        {"raster poll", tune(0x1000, 0x1000, 0x1000, "ad 12 d0 f0 fb"), "t.sid|1", 0,
         "voxdump: start routine: endless loop at 1000; call ended\nvoxdump: play call #1: endless loop at 1000; call ended\n", kEnd, "\n#1\n"},
        // INC $FB / BNE / INC $FC / JMP
        {"16-bit counter", tune(0x1000, 0x1000, 0x1001, "60 e6 fb d0 fc e6 fc 4c 01 10"), "t.sid|1", 0,
         "voxdump: play call #1: endless loop at 1001; call ended\n", kEnd, "\n#1\n"},
        {"same SID register for ever", tune(0x1000, 0x1000, 0x1001, "60 8d 18 d4 4c 01 10"), "t.sid|1", 0,
         "voxdump: play call #1: endless loop at 1001; call ended\n", kEnd, "\n#1\n00004 d418 00\n00011 d418 00\n"},
        {"RTS stored at 0001", tune(0x1000, 0x1000, 0x1004, "a9 60 85 01 60"), "t.sid|1", 0,
         "voxdump: start routine: endless loop at 0001; call ended\nvoxdump: play call #1: endless loop at 0001; call ended\n", kEnd, "\n#1\n"},
    });
    // clang-format on
    return r;
}

class BadInputTest : public testing::TestWithParam<Row> {};

TEST_P(BadInputTest, HandledWithNothingLost) {
    const Row& c = GetParam();
    if ((c.setup == OutputLinksToTune || c.setup == OutputLinksToFull) && !haveUnixFiles())
        GTEST_SKIP() << "needs symbolic links and /dev/full";
    ScratchDir dir;
    std::vector<std::string> args;
    std::istringstream in(c.args);
    for (std::string arg; std::getline(in, arg, '|');) args.push_back(arg);
    if (c.args.ends_with('|')) args.push_back("");
    const fs::path tunePath = dir.path / args[0];
    const fs::path output = dir.path / (args.size() >= 4 && args[3][0] == '1' ? "t.dis" : "t.log");
    const fs::path target = c.target.empty() ? output : dir.path / c.target;
    if (c.setup == TuneIsDir) fs::create_directory(tunePath);
    if (c.setup != TuneIsDir && c.setup != NoTune) writeFile(tunePath, c.tune);
    if (c.setup == OutputIsDir) fs::create_directory(target);
    if (c.setup == OutputLinksToTune) fs::create_symlink(tunePath, target);
    if (c.setup == OutputLinksToFull) fs::create_symlink("/dev/full", target);

    RunResult r = runVoxdump(dir.path, args);
    EXPECT_EQ(r.status, c.status);
    if (c.err != "*") {
        EXPECT_EQ(r.err, c.err);
    }
    for (size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1) {
        EXPECT_EQ(r.err.compare(at, 9, "voxdump: "), 0) << r.err;
    }
    EXPECT_TRUE(r.out.ends_with(c.outTail)) << r.out;
    if (c.outputTail != "-") {
        EXPECT_TRUE(readFile(output).ends_with(c.outputTail)) << readFile(output);
    } else if (c.setup == Plain) {
        EXPECT_EQ(fs::exists(output), output == tunePath);
    }
    if (c.setup != TuneIsDir && c.setup != NoTune) {
        EXPECT_EQ(readFile(tunePath), std::string(c.tune.begin(), c.tune.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, BadInputTest, testing::ValuesIn(rows()),
                         [](const auto& p) { return "row" + std::to_string(p.index); });

}  // namespace
