// Files a run makes whole: written beside their names and renamed once
// complete, so that a stopped or failed run leaves each either whole (as a
// finished run made it, or as it was before the run) or absent; the study's
// files of a song whose length is known hold the song, its loop and end marked.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "support/midi_reader.h"
#include "support/music_tune.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A play routine of about 5000 cycles that writes the pulse width: a run of
// many calls lasts seconds.
Bytes slowTune() {
    return psidFile({.play = 0x1003,
                     .name = "Slow",
                     .data = hexBytes("a9 0f 60 a0 04 a2 00 ca d0 fd 88 d0 f8 e6 fb a5 fb 8d 02 "
                                      "d4 a9 41 8d 04 d4 60")});
}

// Every file in the folder, by name.
std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct StopCase {
    const char* name;
    int signal;
    const char* options;
};

class StoppedRun : public testing::TestWithParam<StopCase> {};

// The signal comes once the run has made its files (their names with ".part"
// exist): the study's files are removed, those that were there before stay as
// they were, the log keeps whole lines, and the status is 128 + the signal.
TEST_P(StoppedRun, LeavesNoHalfFile) {
    if (!haveUnixFiles()) GTEST_SKIP() << "signals from a shell";
    const StopCase& c = GetParam();
    ScratchDir dir;
    writeFile(dir.path / "t.sid", slowTune());
    writeFile(dir.path / "t.mid", hexBytes("4d 54 68 64"));  // a file of the user's
    const std::string command =
        "cd '" + dir.path.string() + "' && (" VOXDUMP_BINARY " t.sid 2000000 " + c.options +
        " >out 2>err & p=$!; n=0; while [ ! -e t.tab.part ] && [ $n -lt 500 ]; do sleep 0.01; "
        "n=$((n+1)); done; sleep 0.1; kill -" +
        std::to_string(c.signal) + " $p; wait $p; echo $? > status)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(dir.path / "status"), std::to_string(128 + c.signal) + "\n");
    EXPECT_EQ(readFile(dir.path / "err"), "");
    const std::string out = readFile(dir.path / "out");
    EXPECT_EQ(out.find("Finished!"), std::string::npos) << out;
    fs::remove(dir.path / "status");
    fs::remove(dir.path / "out");
    fs::remove(dir.path / "err");
    const bool disassembly = std::string(c.options).find("1 1") != std::string::npos;
    EXPECT_EQ(filesIn(dir.path),
              (std::vector<std::string>{disassembly ? "t.dis" : "t.log", "t.mid", "t.sid"}));
    EXPECT_EQ(readFile(dir.path / "t.mid"), "MThd");
    const std::string log = readFile(dir.path / (disassembly ? "t.dis" : "t.log"));
    EXPECT_TRUE(log.ends_with("\n"));
    EXPECT_GT(log.size(), 1000u);
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedRun,
                         testing::Values(StopCase{"interrupt", SIGINT, "--table --roll --midi"},
                                         StopCase{"terminate", SIGTERM, "--table --roll --midi"},
                                         StopCase{"trace", SIGINT, "1 1 --table --midi"}),
                         [](const auto& p) { return std::string(p.param.name); });

// Outputs that cannot be created are said in one line before anything is
// played: no console lines, no file made, the status 1.
TEST(WholeFiles, OutputsThatCannotBeMadeAreSaidOnceBeforeTheWork) {
    ScratchDir dir;
    writeFile(dir.path / "t.sid", slowTune());
    fs::create_directory(dir.path / "t.tab");
    fs::create_directory(dir.path / "t.mid");
    const RunResult r = runVoxdump(dir.path, {"t.sid", "--table", "--roll", "--midi"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "voxdump: t.tab, t.mid: cannot create: Is a directory; nothing played\n");
    EXPECT_EQ(filesIn(dir.path), (std::vector<std::string>{"t.mid", "t.sid", "t.tab"}));
}

// A folder the run may not write to (not where the tests run with every
// right, as root does).
TEST(WholeFiles, UnwritableFolder) {
    if (!haveUnixFiles()) GTEST_SKIP() << "folder permissions";
    ScratchDir dir;
    fs::create_directory(dir.path / "ro");
    writeFile(dir.path / "ro" / "t.sid", slowTune());
    fs::permissions(dir.path / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const bool writable =
        std::system(("touch '" + (dir.path / "ro" / "x").string() + "' 2>/dev/null").c_str()) == 0;
    if (writable) {
        fs::permissions(dir.path / "ro", fs::perms::owner_all);
        GTEST_SKIP() << "the folder stays writable for this user";
    }
    const RunResult r = runVoxdump(dir.path, {"ro/t.sid", "--table", "--roll", "--midi"});
    fs::permissions(dir.path / "ro", fs::perms::owner_all);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "voxdump: ro/t.log, ro/t.tab, ro/t.svg, ro/t.mid: cannot create: Permission denied; "
              "nothing played\n");
    EXPECT_EQ(filesIn(dir.path / "ro"), (std::vector<std::string>{"t.sid"}));
}

// A tune of an intro of 4 notes (calls 1 to 27) and a loop of 8 (calls 28 to
// 75, then again): with --length the run goes on to call 76, and the files
// hold calls 0 to 75, the loop's start and the song's end marked;
// --whole-run keeps every call, marked the same.
TEST(SongFiles, TrimmedToTheSongAndMarked) {
    MusicTune tune;
    addRest(tune, 3);
    for (const int key : {48, 50, 52, 53}) addNote(tune, key, 5, 1);
    tune.loopIndex = tune.calls.size();
    for (const int key : {60, 62, 64, 65, 67, 69, 71, 72}) addNote(tune, key, 5, 1);
    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole);
        ScratchDir dir;
        writeFile(dir.path / "t.sid", musicTuneFile(tune));
        std::vector<std::string> args{"t.sid", "--length", "--table", "--roll", "--midi"};
        if (whole) args.push_back("--whole-run");
        const RunResult r = runVoxdump(dir.path, args);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_NE(r.out.find("lasts 0:01.51 (75 calls), then repeats from 0:00.55 (call 28)"),
                  std::string::npos)
            << r.out;
        const uint32_t last = whole ? 76 : 75;
        // The table's last call line, then the length line.
        const std::string table = readFile(dir.path / "t.tab");
        const size_t end = table.rfind("\n\nSong 1 of 1 lasts");
        ASSERT_NE(end, std::string::npos);
        const size_t lineStart = table.rfind('\n', end - 1) + 1;
        EXPECT_EQ(std::atoi(table.c_str() + lineStart), static_cast<int>(last))
            << table.substr(lineStart, end - lineStart);
        // The picture: as wide as the calls kept, the loop and end marked.
        const std::string svg = readFile(dir.path / "t.svg");
        EXPECT_NE(svg.find(std::to_string(last) + " play calls"), std::string::npos);
        EXPECT_NE(svg.find("<g id=\"song\""), std::string::npos);
        EXPECT_NE(svg.find(">loop</text>"), std::string::npos);
        EXPECT_NE(svg.find(">end</text>"), std::string::npos);
        // The MIDI file: markers at calls 28 and 76 (2 ticks of lead), the
        // notes of the song alone, or the run's.
        const MidiFile midi = readMidi(readFile(dir.path / "t.mid"));
        ASSERT_TRUE(midi.valid);
        std::vector<std::pair<uint32_t, std::string>> markers;
        for (const MidiEvent& e : midi.events)
            if (e.kind == 0x06) markers.push_back({e.tick, e.text});
        EXPECT_EQ(markers,
                  (std::vector<std::pair<uint32_t, std::string>>{{30, "loop"}, {78, "end"}}));
        EXPECT_EQ(midi.notes.size(), whole ? 13u : 12u);
        EXPECT_EQ(filesIn(dir.path),
                  (std::vector<std::string>{"t.log", "t.mid", "t.sid", "t.svg", "t.tab"}));
    }
}

}  // namespace
