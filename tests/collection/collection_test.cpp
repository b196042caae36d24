// voxdump --collection on folders of tunes made here: the table and the list
// read back, the same files whatever the number of threads, shards that add
// up, broken files, an interrupted run and its resumption, the study's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "collection/csv.h"
#include "collection/md5.h"
#include "support/midi_reader.h"
#include "support/music_tune.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A tune of `songs` songs (all playing the same music): a melody of `notes`
// notes from `seed`, looping, or ending in silence.
Bytes tuneFile(uint32_t seed, int notes, bool ends, uint16_t songs = 1) {
    MusicTune tune;
    int key = 50 + static_cast<int>(seed % 7);
    for (int k = 0; k < notes; ++k) {
        key = 48 + (key * 7 + static_cast<int>(seed) + k) % 24;
        addNote(tune, key, 8 + (static_cast<uint32_t>(k) + seed) % 5, 2);
    }
    if (ends) {
        tune.loopIndex = tune.calls.size();
        addRest(tune, 1);
        tune.freeCounter = true;
    }
    Bytes file = musicTuneFile(tune);
    file[15] = static_cast<uint8_t>(songs);  // the header's song count
    return file;
}

// A small collection in `root`: folders, a tune of three songs, one that ends.
void makeCollection(const fs::path& root) {
    fs::create_directories(root / "MUSICIANS" / "A");
    fs::create_directories(root / "GAMES");
    writeFile(root / "MUSICIANS" / "A" / "One.sid", tuneFile(1, 20, false));
    writeFile(root / "MUSICIANS" / "A" / "Two.sid", tuneFile(2, 25, true));
    writeFile(root / "MUSICIANS" / "Three.sid", tuneFile(3, 18, false, 3));
    writeFile(root / "GAMES" / "Four.sid", tuneFile(4, 30, false));
    writeFile(root / "GAMES" / "Five.sid", tuneFile(5, 12, true, 2));
    writeFile(root / "GAMES" / "readme.txt", {'h', 'i'});
}

// The table's header and songs' rows (its settings row left out).
std::vector<std::vector<std::string>> tableOf(const fs::path& file) {
    size_t complete = 0;
    auto rows = csvRecords(readFile(file), complete);
    std::erase_if(rows, [](const std::vector<std::string>& r) { return r[0] == "#settings"; });
    return rows;
}

// The line at the end on standard error, up to its time.
std::string summaryHead(size_t songs, size_t played) {
    return "voxdump: " + std::to_string(songs) + " of " + std::to_string(songs) + " songs (" +
           std::to_string(played) + " played in ";
}

// The rest of the line: the songs by how their length was found.
std::string summaryTail(size_t resumed, size_t loops, size_t ends, size_t errors) {
    return " s, " + std::to_string(resumed) + " from the table): loops " + std::to_string(loops) +
           " (" + std::to_string(loops) + " by the machine's repeat), ends " +
           std::to_string(ends) + " (0 by the machine's repeat), no repeat 0, errors " +
           std::to_string(errors) + "\n";
}

RunResult collect(const fs::path& dir, const std::vector<std::string>& more) {
    std::vector<std::string> args{"--collection", "--csv", "t.csv", "--songlengths", "t.md5"};
    args.insert(args.end(), more.begin(), more.end());
    return runVoxdump(dir, args);
}

TEST(Collection, TableAndListReadBack) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    const RunResult r = collect(dir.path, {"-j", "2", "C"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // Not a terminal: no progress line, only the summary.
    EXPECT_TRUE(r.err.starts_with(summaryHead(8, 8))) << r.err;
    EXPECT_TRUE(r.err.ends_with(summaryTail(0, 5, 3, 0))) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    // After the header, the settings the songs were played with.
    size_t complete = 0;
    const auto raw = csvRecords(readFile(dir.path / "t.csv"), complete);
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw[1], (std::vector<std::string>{"#settings", "", "", "", "", "", "", "", "", "", "",
                                                "", "", "", "",
                                                "calls=0 max-cycles=0 undocumented=0 song=0 "
                                                "shard=0/0"}));
    const auto table = tableOf(dir.path / "t.csv");
    ASSERT_EQ(table.size(), 1u + 8u);  // the header, 1 + 1 + 3 + 1 + 2 songs
    EXPECT_EQ(table[0], (std::vector<std::string>{"path", "md5", "song", "songs", "clock", "rate",
                                                  "length", "loop", "found", "calls", "repeat_i",
                                                  "repeat_j", "longest_call", "sid_writes",
                                                  "diagnostics", "first_diagnostic"}));
    // In byte order of the paths: "GAMES" before "MUSICIANS", "A/" before "Three".
    std::vector<std::string> order;
    for (size_t k = 1; k < table.size(); ++k) order.push_back(table[k][0] + " " + table[k][2]);
    EXPECT_EQ(order,
              (std::vector<std::string>{"/GAMES/Five.sid 1", "/GAMES/Five.sid 2",
                                        "/GAMES/Four.sid 1", "/MUSICIANS/A/One.sid 1",
                                        "/MUSICIANS/A/Two.sid 1", "/MUSICIANS/Three.sid 1",
                                        "/MUSICIANS/Three.sid 2", "/MUSICIANS/Three.sid 3"}));
    for (size_t k = 1; k < table.size(); ++k) {
        const std::vector<std::string>& row = table[k];
        const bool ends =
            row[0].find("Two") != std::string::npos || row[0].find("Five") != std::string::npos;
        EXPECT_EQ(row[8], ends ? "ends" : "loop") << row[0];
        EXPECT_EQ(row[4], "PAL");
        EXPECT_EQ(row[5], "50.125");
        EXPECT_EQ(row[10].empty(), ends) << row[0];  // a loop repeats the machine's state
        const Bytes bytes = [&] {
            const std::string text = readFile(dir.path / ("C" + row[0]));
            return Bytes(text.begin(), text.end());
        }();
        EXPECT_EQ(row[1], md5Text(md5(bytes.data(), bytes.size())));
    }
    // The list: a head, then per tune its path and one length per song.
    std::istringstream list(readFile(dir.path / "t.md5"));
    std::string line;
    std::getline(list, line);
    EXPECT_EQ(line, "[Database]");
    size_t row = 1;
    while (std::getline(list, line)) {
        ASSERT_EQ(line, "; " + table[row][0]);
        ASSERT_TRUE(std::getline(list, line));
        const int songs = std::stoi(table[row][3]);
        std::string expected = table[row][1] + "=";
        for (int s = 0; s < songs; ++s, ++row) {
            const std::string& seconds = table[row][6];
            const int ms = std::stoi(seconds.substr(0, seconds.size() - 4)) * 1000 +
                           std::stoi(seconds.substr(seconds.size() - 3));
            char text[32];
            std::snprintf(text, sizeof text, "%s%d:%02d.%03d", s > 0 ? " " : "", ms / 60000,
                          ms / 1000 % 60, ms % 1000);
            expected += text;
        }
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(row, table.size());
}

TEST(Collection, SameFilesWhateverTheThreads) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    ASSERT_EQ(collect(dir.path, {"--jobs", "1", "C"}).status, 0);
    const std::string table = readFile(dir.path / "t.csv"), list = readFile(dir.path / "t.md5");
    for (const char* jobs : {"2", "5"}) {
        ASSERT_EQ(collect(dir.path, {"--jobs", jobs, "C"}).status, 0);
        EXPECT_EQ(readFile(dir.path / "t.csv"), table) << jobs;
        EXPECT_EQ(readFile(dir.path / "t.md5"), list) << jobs;
    }
}

TEST(Collection, ShardsAddUpToTheWhole) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    ASSERT_EQ(collect(dir.path, {"C"}).status, 0);
    auto whole = tableOf(dir.path / "t.csv");
    // The list's entries, a tune's two lines each.
    const auto entriesOf = [](const std::string& list) {
        std::vector<std::string> entries;
        std::istringstream in(list.substr(list.find('\n') + 1));
        for (std::string path, lengths; std::getline(in, path) && std::getline(in, lengths);)
            entries.push_back(path + "\n" + lengths);
        return entries;
    };
    std::vector<std::string> wholeEntries = entriesOf(readFile(dir.path / "t.md5"));
    std::vector<std::vector<std::string>> parts;
    std::vector<std::string> entries;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        ASSERT_EQ(collect(dir.path, {"--shard", shard, "C"}).status, 0);
        const auto table = tableOf(dir.path / "t.csv");
        EXPECT_EQ(table[0], whole[0]);
        parts.insert(parts.end(), table.begin() + 1, table.end());
        const std::string list = readFile(dir.path / "t.md5");
        EXPECT_TRUE(list.starts_with("[Database]\n"));
        for (const std::string& e : entriesOf(list)) entries.push_back(e);
    }
    whole.erase(whole.begin());
    std::sort(whole.begin(), whole.end());
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(parts, whole);
    std::sort(entries.begin(), entries.end());
    std::sort(wholeEntries.begin(), wholeEntries.end());
    EXPECT_EQ(entries, wholeEntries);
    EXPECT_EQ(entries.size(), 5u);
}

TEST(Collection, BrokenFilesGetErrorRowsAndTheRunGoesOn) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    Bytes cut = tuneFile(9, 10, false);
    cut.resize(60);  // inside the header
    writeFile(dir.path / "C" / "GAMES" / "Cut.sid", cut);
    const std::string text(200, 'x');
    writeFile(dir.path / "C" / "GAMES" / "Text.sid", Bytes(text.begin(), text.end()));
    const RunResult r = collect(dir.path, {"C"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cut.sid: song 1: file ends inside the header\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Text.sid: song 1: not a PSID or RSID file\n"), std::string::npos)
        << r.err;
    const auto table = tableOf(dir.path / "t.csv");
    ASSERT_EQ(table.size(), 1u + 10u);
    EXPECT_EQ(table[1][0], "/GAMES/Cut.sid");
    EXPECT_EQ(table[1][8], "error");
    EXPECT_EQ(table[1][15], "file ends inside the header");
    EXPECT_EQ(table[5][0], "/GAMES/Text.sid");
    EXPECT_EQ(table[5][8], "error");
    EXPECT_EQ(table[5][15], "not a PSID or RSID file");
    EXPECT_EQ(table[6][8], "loop");  // the run went on
}

}  // namespace

namespace {

// A tune that never repeats (a 24-bit counter) and spends about 5000 cycles
// a call: a song of it lasts a while.
Bytes slowTune(uint8_t seed) {
    Bytes code = hexBytes("a9 0f 8d 18 d4 60");
    code.resize(0x20, 0);
    const Bytes play = hexBytes("a0 04 a2 00 ca d0 fd 88 d0 f8 e6 fb d0 06 e6 fc d0 02 e6 fd 60");
    code.insert(code.end(), play.begin(), play.end());
    code.push_back(seed);  // tunes that differ
    return psidFile({.play = 0x1020, .name = "Slow", .data = code});
}

// Stopped by SIGINT, the run leaves whole lines only; resumed, it ends with
// the files of a run that was never stopped.
TEST(Collection, InterruptedThenResumed) {
    if (!haveUnixFiles()) GTEST_SKIP() << "signals from a shell";
    ScratchDir dir;
    fs::create_directories(dir.path / "C");
    for (uint8_t k = 0; k < 16; ++k) {
        writeFile(dir.path / "C" / (std::to_string(100 + k) + ".sid"), slowTune(k));
    }
    const std::vector<std::string> common = {"--calls", "15000", "-j", "2", "C"};
    ASSERT_EQ(collect(dir.path, common).status, 0);
    const std::string table = readFile(dir.path / "t.csv"), list = readFile(dir.path / "t.md5");
    fs::remove(dir.path / "t.csv");
    fs::remove(dir.path / "t.md5");

    const std::string command = "cd '" + dir.path.string() +
                                "' && (" VOXDUMP_BINARY
                                " --collection --csv t.csv --songlengths t.md5 --calls 15000 -j 2 "
                                "C & p=$!; sleep 0.5; kill -INT $p; wait $p; echo $? > status)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string status = readFile(dir.path / "status");
    EXPECT_TRUE(status == "130\n" || status == "0\n") << status;  // 0: it was done already
    const std::string cut = readFile(dir.path / "t.csv");
    EXPECT_TRUE(cut.ends_with("\r\n"));
    // Whole rows, each one of the complete table's: in order, then those of
    // songs that finished out of order when the run was stopped.
    std::istringstream cutRows(cut);
    for (std::string row; std::getline(cutRows, row);)
        EXPECT_NE(table.find(row + "\n"), std::string::npos) << row;
    EXPECT_TRUE(list.starts_with(readFile(dir.path / "t.md5")));

    const RunResult resumed = collect(dir.path, {"--resume", "--calls", "15000", "-j", "2", "C"});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(readFile(dir.path / "t.csv"), table);
    EXPECT_EQ(readFile(dir.path / "t.md5"), list);
}

// Stopped by SIGINT while songs are studied, the run leaves each song's
// files whole (those of the songs done) or absent, nothing half-written
// beside them.
TEST(Collection, InterruptedStudyLeavesWholeFilesOnly) {
    if (!haveUnixFiles()) GTEST_SKIP() << "signals from a shell";
    ScratchDir dir;
    fs::create_directories(dir.path / "C");
    for (uint8_t k = 0; k < 8; ++k) {
        writeFile(dir.path / "C" / (std::to_string(100 + k) + ".sid"), slowTune(k));
    }
    const std::string command = "cd '" + dir.path.string() +
                                "' && (" VOXDUMP_BINARY
                                " --collection --midi --roll --table --out out --calls 15000 -j 2 "
                                "C & p=$!; sleep 0.5; kill -INT $p; wait $p; echo $? > status)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string status = readFile(dir.path / "status");
    EXPECT_TRUE(status == "130\n" || status == "0\n") << status;
    size_t songs = 0;
    if (!fs::exists(dir.path / "out")) return;  // stopped before the first song was done
    for (const auto& entry : fs::recursive_directory_iterator(dir.path / "out")) {
        if (!entry.is_regular_file()) continue;
        const fs::path& path = entry.path();
        EXPECT_NE(path.extension(), ".part") << path;
        if (path.extension() == ".mid") {
            ++songs;
            EXPECT_TRUE(readMidi(readFile(path)).valid) << path;
            // The song's other files are there too, whole.
            fs::path svg = path, tab = path;
            EXPECT_TRUE(readFile(svg.replace_extension(".svg")).ends_with("</svg>\n")) << svg;
            EXPECT_TRUE(readFile(tab.replace_extension(".tab")).ends_with("\n")) << tab;
        }
    }
    EXPECT_LT(songs, 8u) << status;  // stopped before the last song was done
}

// A tune whose calls take about 330000 cycles each and never repeat: its
// song, played for 30 minutes, would take minutes to run.
Bytes verySlowTune() {
    Bytes code = hexBytes("a9 0f 8d 18 d4 60");
    code.resize(0x20, 0);
    const Bytes play = hexBytes("a0 ff a2 00 ca d0 fd 88 d0 f8 e6 fb d0 06 e6 fc d0 02 e6 fd 60");
    code.insert(code.end(), play.begin(), play.end());
    return psidFile({.play = 0x1020, .name = "Very slow", .data = code});
}

// The first song in order runs long; the others end on the other thread.
// SIGINT then keeps their rows (after the header and the settings, out of
// order), stops the long song at once (the run does not wait for it) and
// says so at the end.
TEST(Collection, InterruptedRunKeepsTheSongsThatFinished) {
    if (!haveUnixFiles()) GTEST_SKIP() << "signals from a shell";
    ScratchDir dir;
    fs::create_directories(dir.path / "C");
    writeFile(dir.path / "C" / "A.sid", verySlowTune());
    const char* const quick[] = {"B1.sid", "B2.sid", "B3.sid", "B4.sid"};
    for (uint32_t k = 1; k <= 4; ++k)
        writeFile(dir.path / "C" / quick[k - 1], tuneFile(k, 12, k % 2 == 0));
    const std::string command = "cd '" + dir.path.string() +
                                "' && (" VOXDUMP_BINARY
                                " --collection --csv t.csv -j 2 C 2> err & p=$!; sleep 3; "
                                "kill -INT $p; wait $p; echo $? > status)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(dir.path / "status"), "130\n");
    const auto table = tableOf(dir.path / "t.csv");
    std::vector<std::string> paths;
    for (size_t k = 1; k < table.size(); ++k) paths.push_back(table[k][0]);
    EXPECT_EQ(paths, (std::vector<std::string>{"/B1.sid", "/B2.sid", "/B3.sid", "/B4.sid"}));
    const std::string err = readFile(dir.path / "err");
    EXPECT_TRUE(err.starts_with("voxdump: 4 of 5 songs (4 played in ")) << err;
    EXPECT_TRUE(err.ends_with("; stopped, the rest are played by --resume\n")) << err;
}

// A table is resumed only by a run with the settings it was made with; the
// table stays as it was.
TEST(Collection, ResumeWithOtherSettingsRefused) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    ASSERT_EQ(collect(dir.path, {"--calls", "300", "C"}).status, 0);
    const std::string table = readFile(dir.path / "t.csv");
    const RunResult r = collect(dir.path, {"--resume", "--calls", "200", "C"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "voxdump: t.csv: made with other settings (calls=300 max-cycles=0 undocumented=0 "
              "song=0 shard=0/0) than this run's (calls=200 max-cycles=0 undocumented=0 song=0 "
              "shard=0/0); not resumed\n");
    EXPECT_EQ(readFile(dir.path / "t.csv"), table);
    // With the same settings it resumes: nothing is left to play.
    const RunResult same = collect(dir.path, {"--resume", "--calls", "300", "C"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(same.err.starts_with("voxdump: 8 of 8 songs (0 played in ")) << same.err;
    EXPECT_EQ(readFile(dir.path / "t.csv"), table);
}

// A row cut off in the middle (a machine that went down) is dropped, then
// played again.
TEST(Collection, ResumeDropsACutRow) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    ASSERT_EQ(collect(dir.path, {"C"}).status, 0);
    const std::string table = readFile(dir.path / "t.csv");
    const size_t third = table.find("\r\n", table.find("\r\n", table.find("\r\n") + 2) + 2) + 2;
    writeFile(dir.path / "t.csv",
              Bytes(table.begin(), table.begin() + static_cast<long>(third + 9)));
    const RunResult r = collect(dir.path, {"--resume", "C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path / "t.csv"), table);
}

TEST(Collection, StudyFilesUnderOut) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    const RunResult r =
        runVoxdump(dir.path, {"--collection", "--midi", "--roll", "--out", "out", "C"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"out/MUSICIANS/A/One.mid", "out/MUSICIANS/Three-1.mid",
                             "out/MUSICIANS/Three-3.svg", "out/GAMES/Five-2.mid"})
        EXPECT_TRUE(fs::exists(dir.path / name)) << name;
    EXPECT_FALSE(fs::exists(dir.path / "out/MUSICIANS/Three.mid"));
    EXPECT_TRUE(readFile(dir.path / "out/MUSICIANS/A/One.mid").starts_with("MThd"));
    EXPECT_FALSE(fs::exists(dir.path / "C/MUSICIANS/A/One.log"));  // nothing in the collection
}

// The table and the list never take a tune's place, nor each other's.
TEST(Collection, OutputsNeverOverwriteATune) {
    ScratchDir dir;
    makeCollection(dir.path / "C");
    const std::string tune = readFile(dir.path / "C" / "GAMES" / "Four.sid");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--collection", "--csv", "C/GAMES/Four.sid", "C"},
          {"--collection", "--songlengths", "./C/GAMES/Four.sid", "C"},
          {"--collection", "--csv", "x.out", "--songlengths", "./x.out", "C"}}) {
        const RunResult r = runVoxdump(dir.path, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with("; refusing to overwrite it\n") ||
                    r.err.ends_with("; refusing to write it\n"))
            << r.err;
        EXPECT_EQ(readFile(dir.path / "C" / "GAMES" / "Four.sid"), tune);
    }
    EXPECT_FALSE(fs::exists(dir.path / "x.out"));
}

struct UsageCase {
    std::vector<std::string> args;
    const char* err;
};

TEST(Collection, Usage) {
    const UsageCase kCases[] = {
        {{"--collection"}, "voxdump: --collection needs tune files or folders to play\n"},
        {{"--collection", "--resume", "C"},
         "voxdump: --resume needs the --csv file of the run to resume\n"},
        {{"--collection", "--midi", "C"},
         "voxdump: --table, --roll and --midi need --out DIR with --collection\n"},
        {{"--collection", "--jobs", "0", "C"}, "voxdump: invalid number of threads '0'\n"},
        {{"--collection", "-j"}, "voxdump: option '--jobs' needs a number of threads\n"},
        {{"--collection", "--shard", "4/3", "C"},
         "voxdump: invalid shard '4/3' (K/N, 1 <= K <= N)\n"},
        {{"--collection", "--songlengths", "l.md5", "--song", "2", "C"},
         "voxdump: --songlengths needs every song of each tune; it cannot go with --song\n"},
        {{"t.sid", "--csv", "t.csv"}, "voxdump: option '--csv' needs --collection\n"},
        {{"t.sid", "-j", "2"}, "voxdump: option '--jobs' needs --collection\n"},
    };
    ScratchDir dir;
    for (const UsageCase& c : kCases) {
        const RunResult r = runVoxdump(dir.path, c.args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace

namespace {

// On a terminal, one line drawn again in place; the files are the same.
TEST(Collection, ProgressOnATerminalOnly) {
    if (!haveUnixFiles() || std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    ScratchDir dir;
    makeCollection(dir.path / "C");
    const std::string command = "cd '" + dir.path.string() +
                                "' && script -qec '" VOXDUMP_BINARY
                                " --collection --csv t.csv C' /dev/null > terminal";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The last line drawn is padded with blanks over a longer one before it
    // (one that said the time left, when the run was slow enough to show it).
    const std::string shown =
        std::regex_replace(readFile(dir.path / "terminal"), std::regex(" +\r\n"), "\r\n");
    EXPECT_NE(shown.find("\rvoxdump: 5 of 5 tunes, 8 of 8 songs, "), std::string::npos) << shown;
    // The progress's last line, then the summary (the terminal's CR LF).
    EXPECT_NE(shown.find(" songs a second\r\n" + summaryHead(8, 8)), std::string::npos) << shown;
    const std::string table = readFile(dir.path / "t.csv");
    const RunResult quiet = collect(dir.path, {"C"});
    EXPECT_TRUE(quiet.err.starts_with(summaryHead(8, 8))) << quiet.err;
    EXPECT_EQ(readFile(dir.path / "t.csv"), table);
}

}  // namespace

namespace {

// An RSID tune: the start routine sets voice 1 going and its handler in
// $0314/$0315; the handler, on the system's timer, changes the note every 16
// interrupts, four notes round ($F0 counts to 256: the machine repeats after
// four rounds), and ends through $EA31.
Bytes interruptTune(uint16_t flags = 0) {
    Bytes code = hexBytes(
        "a9 0f 8d 18 d4 a9 00 8d 05 d4 a9 f0 8d 06 d4 a9 21 8d 04 d4 a9 30 8d 14 03 a9 10 8d 15 "
        "03 60");
    code.resize(0x30, 0);
    const Bytes handler = hexBytes("e6 f0 a5 f0 4a 4a 4a 4a 29 03 aa bd 50 10 8d 01 d4 4c 31 ea");
    code.insert(code.end(), handler.begin(), handler.end());
    code.resize(0x50, 0);
    code.insert(code.end(), {0x11, 0x16, 0x1a, 0x22});
    return psidFile({.id = "RSID", .play = 0, .flags = flags, .data = code});
}

// Interrupt-driven tunes play in the machine environment; those that need
// the BASIC interpreter get an error row.
TEST(Collection, InterruptDrivenTunes) {
    ScratchDir dir;
    fs::create_directories(dir.path / "C");
    writeFile(dir.path / "C" / "Irq.sid", interruptTune());
    writeFile(dir.path / "C" / "Basic.sid", interruptTune(2));
    const RunResult r = collect(dir.path, {"C"});
    EXPECT_EQ(r.status, 1);
    const auto table = tableOf(dir.path / "t.csv");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1][0], "/Basic.sid");
    EXPECT_EQ(table[1][8], "error");
    EXPECT_EQ(table[1][15],
              "the tune runs in the BASIC interpreter (RSID BASIC flag), which the machine "
              "environment does not have");
    const std::vector<std::string>& irq = table[2];
    EXPECT_EQ(irq[0], "/Irq.sid");
    EXPECT_EQ(irq[5], "59.996");  // the system's timer, $4025 + 1 cycles
    EXPECT_EQ(irq[8], "loop");
    // Four notes of 16 interrupts; the machine's period is four times that.
    EXPECT_EQ(std::stoi(irq[11]) - std::stoi(irq[10]), 256);
    const double length = std::stod(irq[6]) - std::stod(irq[7]);
    EXPECT_NEAR(length, 64 * 16422 / 985248.0, 0.002);
}

}  // namespace

namespace {

TEST(Collection, RateOfAnInterruptDrivenTuneIsThatOfItsPlayCalls) {
    // An RSID tune: SEI, the handler $1040 in $0314, CIA 1 timer A's latch
    // $2000, force load and start, CLI, then a JMP to itself; the handler
    // stores $0F in $D418 and ends through $EA31. Call 0 lasts from the start
    // to the first underflow (32 + $2001 cycles), every play call $2001: the
    // rate is 985248 / 8193, not 985248 / 8225.
    Bytes data = hexBytes(
        "78 a9 40 8d 14 03 a9 10 8d 15 03 a9 00 8d 04 dc a9 20 8d 05 dc a9 11 "
        "8d 0e dc 58 4c 1b 10");
    data.resize(0x40, 0);
    const Bytes handler = hexBytes("a9 0f 8d 18 d4 4c 31 ea");
    data.insert(data.end(), handler.begin(), handler.end());
    ScratchDir dir;
    fs::create_directories(dir.path / "C");
    writeFile(dir.path / "C" / "Timer.sid", psidFile({.id = "RSID", .play = 0, .data = data}));
    const RunResult r = collect(dir.path, {"C"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto table = tableOf(dir.path / "t.csv");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1][5], "120.255");
}

}  // namespace
