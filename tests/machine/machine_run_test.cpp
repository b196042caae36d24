// Interrupt-driven tunes made here, run by the real binary in the machine
// environment: whole output files, and the rules of a run's calls.
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Code at $1000, and more code at `at` (zeros between).
Bytes code(std::string_view first, uint16_t at, std::string_view second) {
    Bytes bytes = hexBytes(first);
    bytes.resize(at - 0x1000, 0);
    const Bytes rest = hexBytes(second);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

Psid rsid(Bytes data) {
    return Psid{.id = "RSID", .play = 0, .data = std::move(data)};
}

// A raster-interrupt player. Start: SEI, LDA #$0F, STA $D418, CIA 1's
// interrupts off (LDA #$7F, STA $DC0D), the handler $1030 in $0314/$0315,
// the compare line $032 ($D012, $D011 $1B), the raster interrupt on
// ($D01A), RTS. Handler: INC $D019 (acknowledged by the 6502's first
// write), INC $F0, LDA $F0, STA $D400, JMP $EA81.
const Psid kRasterTune = rsid(code(
    "78 a9 0f 8d 18 d4 a9 7f 8d 0d dc a9 30 8d 14 03 a9 10 8d 15 03 a9 32 8d 12 d0 a9 1b 8d 11 d0 "
    "a9 01 8d 1a d0 60",
    0x1030, "ee 19 d0 e6 f0 a5 f0 8d 00 d4 4c 81 ea"));

// A CIA-timer player whose main loop writes too. Start: SEI, the handler
// $1040, timer A's latch $2000 ($DC04, $DC05), force load and start
// ($DC0E = $11), CLI; then the main loop: LDA $F0, BEQ back; LDA #0,
// STA $F0, LDA $F2, STA $D401, JMP back. Handler: INC $F2, LDA #1, STA $F0,
// LDA $F2, STA $D400, JMP $EA31.
const Psid kTimerTune =
    rsid(code("78 a9 40 8d 14 03 a9 10 8d 15 03 a9 00 8d 04 dc a9 20 8d 05 dc a9 11 8d 0e dc 58 "
              "a5 f0 f0 fc a9 00 85 f0 a5 f2 8d 01 d4 4c 1b 10",
              0x1040, "e6 f2 a9 01 85 f0 a5 f2 8d 00 d4 4c 31 ea"));

// An NMI sample player: the NMI handler $1030 in $0318/$0319, CIA 2 timer
// A's latch 100, loaded while stopped, its interrupt on, started; RTS.
// Handler: PHA, INC $F0, LDA $F0, AND #$0F, STA $D418, LDA $DD0D, PLA, RTI.
const Psid kNmiTune = rsid(code(
    "78 a9 30 8d 18 03 a9 10 8d 19 03 a9 64 8d 04 dd a9 00 8d 05 dd a9 81 8d 0d dd a9 01 8d 0e dd "
    "60",
    0x1030, "48 e6 f0 a5 f0 29 0f 8d 18 d4 ad 0d dd 68 40"));

// A PSID tune without a play address whose handler $1020 ends through
// $EA31, on the system's own timer: INC $F0, LDA $F0, STA $D40B, JMP $EA31.
const Psid kSystemTimerTune{
    .play = 0,
    .data = code("a9 10 8d 15 03 a9 20 8d 14 03 60", 0x1020, "e6 f0 a5 f0 8d 0b d4 4c 31 ea")};

// Banks the system ROM out ($01 = $35) and sets $FFFE/$FFFF to its handler
// $1020, then returns (into the idle loop in RAM). Handler: PHA, LDA $DC0D,
// INC $F0, LDA $F0, STA $D404, PLA, RTI.
const Psid kOwnVectorTune = rsid(code("78 a9 35 85 01 a9 20 8d fe ff a9 10 8d ff ff 60", 0x1020,
                                      "48 ad 0d dc e6 f0 a5 f0 8d 04 d4 68 40"));

struct TuneRun {
    RunResult result;
    std::string file;  // the .log or .dis after the header report
    std::string table;
};

TuneRun runTune(const Psid& tune, std::vector<std::string> args, const char* output = "demo.log") {
    ScratchDir dir;
    writeFile(dir.path / "demo.sid", psidFile(tune));
    args.insert(args.begin(), "demo.sid");
    TuneRun run{runVoxdump(dir.path, args), "", ""};
    const std::string header = run.result.out.substr(0, run.result.out.find("Starting execution"));
    const std::string file = readFile(dir.path / output);
    EXPECT_TRUE(file.starts_with(header));
    run.file = file.substr(header.size());
    if (fs::exists(dir.path / "demo.tab")) run.table = readFile(dir.path / "demo.tab");
    return run;
}

// The system ROM's IRQ entry, traced.
#define IRQ_ENTRY                                                                            \
    "irq:\n;ff48   48         PHA \n;ff49   8a         TXA \n;ff4a   48         PHA \n"      \
    ";ff4b   98         TYA \n;ff4c   48         PHA \n;ff4d   ba         TSX \n"            \
    ";ff4e   bd 04 01   LDA 0104,X\n;ff51   29 10      AND #10\n;ff53   f0 03      BEQ 03\n" \
    ";ff58   6c 14 03   JMP (0314)\n"
#define IDLE_LOOP ";1100   58         CLI \n;1101   4c 01 11   JMP 1101\n"

TEST(MachineRun, RasterInterruptPlayer) {
    // The handler's write: 7 cycles of entry, 29 of the system's entry (its
    // BEQ taken),
    // INC abs 6, INC zp 5, LDA zp 3, STA abs 4.
    const TuneRun run = runTune(kRasterTune, {"3", "--machine", "--table"});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.err, "");
    EXPECT_TRUE(run.result.out.ends_with(
        "Starting execution at init address!\nLogging 3 play-routine calls to demo.log!\n"
        "Finished!\n"));
    EXPECT_EQ(run.file,
              "\n\n00008 d418 0f\n\n#1\n00054 d400 01\n\n#2\n00054 d400 02\n\n#3\n00054 d400 03\n");
    // Call 0 ends at line $32's first cycle, the others last a frame.
    EXPECT_EQ(tableCycles(run.table), (std::vector<uint64_t>{50 * 63, 19656, 19656, 19656}));
    EXPECT_NE(run.table.find("the interrupts' rate"), std::string::npos);
}

TEST(MachineRun, RasterInterruptPlayerTraced) {
    const TuneRun run = runTune(kRasterTune, {"1", "1", "1", "--machine"}, "demo.dis");
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(
        run.file,
        "\ninit:\n;1000   78         SEI \n;1001   a9 0f      LDA #0F\n"
        ";1003   8d 18 d4   STA D418\n;1006   a9 7f      LDA #7F\n;1008   8d 0d dc   STA DC0D\n"
        ";100b   a9 30      LDA #30\n;100d   8d 14 03   STA 0314\n;1010   a9 10      LDA #10\n"
        ";1012   8d 15 03   STA 0315\n;1015   a9 32      LDA #32\n;1017   8d 12 d0   STA D012\n"
        ";101a   a9 1b      LDA #1B\n;101c   8d 11 d0   STA D011\n;101f   a9 01      LDA #01\n"
        ";1021   8d 1a d0   STA D01A\n;1024   60         RTS \n" IDLE_LOOP "\n#1:\n" IRQ_ENTRY
        ";1030   ee 19 d0   INC D019\n;1033   e6 f0      INC F0\n;1035   a5 f0      LDA F0\n"
        ";1037   8d 00 d4   STA D400\n;103a   4c 81 ea   JMP EA81\n;ea81   68         PLA \n"
        ";ea82   a8         TAY \n;ea83   68         PLA \n;ea84   aa         TAX \n"
        ";ea85   68         PLA \n;ea86   40         RTI \n;1101   4c 01 11   JMP 1101\n");
}

TEST(MachineRun, TimerPlayerWithAMainLoop) {
    // Handler: 36 + INC 5, LDA 2, STA 3, LDA 3, STA 4 = 53. Then JMP $EA31 3,
    // JSR $FFEA 6, JMP 3, INC $A2 5, BNE 3, LDA 2, STA $91 3, RTS 6, 74 NOPs
    // 148, LDA $DC0D 4, the pulls 16, RTI 6 (258), and the main loop: LDA 3,
    // BEQ 2, LDA 2, STA 3, LDA 3, STA 4 = 275. Call 1 begins at cycle 8225, 40
    // cycles before the stop of bad line $83 (at its cycle 12): its writes
    // come 43 cycles later.
    const TuneRun run = runTune(kTimerTune, {"3", "--machine", "--table"});
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.file,
              "\n\n\n#1\n00096 d400 01\n00318 d401 01\n\n#2\n00053 d400 02\n00275 d401 02\n"
              "\n#3\n00053 d400 03\n00275 d401 03\n");
    // The timer is loaded at cycle 32 (the end of STA $DC0E) and underflows
    // every $2000 + 1 cycles.
    EXPECT_EQ(tableCycles(run.table), (std::vector<uint64_t>{32 + 0x2001, 0x2001, 0x2001, 0x2001}));
}

TEST(MachineRun, NmiSamplePlayer) {
    const TuneRun run = runTune(kNmiTune, {"4", "--machine"});
    EXPECT_EQ(run.result.err, "");
    std::istringstream in(run.file);
    int writes = 0, calls = 0;
    uint32_t last = 0;
    unsigned value = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#")) {
            ++calls;
            last = 0;
            continue;
        }
        if (line.empty()) continue;
        // Each write is $D418, the next value of the counter's low bits, 101
        // cycles after the one before (a few more where the NMI waited for
        // the end of an instruction of the IRQ handler; up to 43 more, and
        // then fewer, where a bad line stopped the processor).
        const uint32_t time = static_cast<uint32_t>(std::stoul(line.substr(0, 5)));
        EXPECT_EQ(line.substr(6, 4), "d418");
        const unsigned v = static_cast<unsigned>(std::stoul(line.substr(11, 2), nullptr, 16));
        EXPECT_EQ(v, (value + 1) & 0x0F) << line;
        value = v;
        if (last != 0) {
            EXPECT_GE(time - last, 101u - 43 - 7) << line;
            EXPECT_LE(time - last, 101u + 43 + 7) << line;
        }
        last = time;
        ++writes;
    }
    EXPECT_EQ(calls, 4);
    // The system's timer: 5 periods of $4025 + 1 cycles, one write every 101.
    EXPECT_NEAR(writes, 5 * 16422 / 101, 2);
}

TEST(MachineRun, HandlerEndingThroughTheSystemHandler) {
    // 36 + INC 5, LDA 3, STA 4; $EA31 acknowledges the timer, so that the
    // next interrupt comes a period later.
    const TuneRun run = runTune(kSystemTimerTune, {"3", "--machine", "--table"});
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.file, "\n\n\n#1\n00048 d40b 01\n\n#2\n00048 d40b 02\n\n#3\n00048 d40b 03\n");
    EXPECT_EQ(tableCycles(run.table), (std::vector<uint64_t>{16422, 16422, 16422, 16422}));
}

TEST(MachineRun, OwnVectorWithTheRomBankedOut) {
    // The handler is entered at once: 7 + PHA 3, LDA 4, INC 5, LDA 3, STA 4.
    const TuneRun run = runTune(kOwnVectorTune, {"2", "--machine"});
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.file, "\n\n\n#1\n00026 d404 01\n\n#2\n00026 d404 02\n");
    const TuneRun traced = runTune(kOwnVectorTune, {"1", "1", "1", "--machine"}, "demo.dis");
    EXPECT_EQ(
        traced.file,
        "\ninit:\n;1000   78         SEI \n;1001   a9 35      LDA #35\n;1003   85 01      STA 01\n"
        ";1005   a9 20      LDA #20\n;1007   8d fe ff   STA FFFE\n;100a   a9 10      LDA #10\n"
        ";100c   8d ff ff   STA FFFF\n;100f   60         RTS \n" IDLE_LOOP
        "\n#1:\nirq:\n;1020   48         PHA \n;1021   ad 0d dc   LDA DC0D\n"
        ";1024   e6 f0      INC F0\n;1026   a5 f0      LDA F0\n;1028   8d 04 d4   STA D404\n"
        ";102b   68         PLA \n;102c   40         RTI \n;1101   4c 01 11   JMP 1101\n");
}

TEST(MachineRun, LengthFromTheMachinesState) {
    // $F0 comes back after 256 calls, the timer's count is the same at
    // every interrupt; but the video chip's latch holds the system's compare
    // line $137 (cycle 19593) only from call 1 on, so the loop begins after
    // call 1: the state after call 257 is that after call 1. The tune sets
    // no volume: nothing is heard, and the song ends at once.
    const TuneRun run = runTune(kSystemTimerTune, {"--machine", "--length"});
    EXPECT_TRUE(run.result.out.ends_with(
        "Logging up to 30 minutes of play-routine calls to demo.log!\n"
        "Played 257 play-routine calls (0:04.30).\nFinished!\n"
        "Song 1 of 1 lasts 0:00.01 (0 calls), then ends\n"
        "Exact repeat: the state after call 257 is the state after call 1\n"))
        << run.result.out;
}

TEST(MachineRun, OptionsThatPlaySongsImplyTheMachine) {
    const TuneRun plain = runTune(kSystemTimerTune, {"2", "--machine"});
    const TuneRun song = runTune(kSystemTimerTune, {"2", "--song", "1"});
    EXPECT_EQ(song.file, plain.file);
    // The init argument does not move the start: the environment starts at
    // the init address.
    const TuneRun atLoad = runTune(kSystemTimerTune, {"2", "0", "--machine"});
    EXPECT_EQ(atLoad.file, plain.file);
    EXPECT_NE(atLoad.result.out.find("Starting execution at init address!"), std::string::npos);
}

TEST(MachineRun, TunesWithAPlayAddressNeverRunInIt) {
    const Psid tune{.play = 0x1006, .data = hexBytes("a9 0f 8d 18 d4 60 a9 20 8d 00 d4 60")};
    for (const char* asmFlag : {"0", "1"}) {
        const char* output = asmFlag[0] == '1' ? "demo.dis" : "demo.log";
        const TuneRun with = runTune(tune, {"2", "1", asmFlag, "--machine"}, output);
        const TuneRun without = runTune(tune, {"2", "1", asmFlag}, output);
        EXPECT_EQ(with.result.out, without.result.out);
        EXPECT_EQ(with.file, without.file);
    }
}

TEST(MachineRun, BasicTunesAreRefusedBeforeAnythingIsWritten) {
    Psid tune = kSystemTimerTune;
    tune.id = "RSID";
    tune.flags = 0x02;
    ScratchDir dir;
    writeFile(dir.path / "demo.sid", psidFile(tune));
    const RunResult r = runVoxdump(dir.path, {"demo.sid", "--machine"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "voxdump: demo.sid: the tune runs in the BASIC interpreter (RSID BASIC flag), which "
              "the machine environment does not have\n");
    EXPECT_FALSE(fs::exists(dir.path / "demo.log"));
    // Without the environment the file runs as before.
    EXPECT_EQ(runVoxdump(dir.path, {"demo.sid", "1"}).status, 0);
}

TEST(MachineRun, AStuckMachineIsReportedOnceAndHalted) {
    // CIA 1's interrupt off, then RTS: nothing can interrupt the idle loop;
    // LDA 2, STA 4, RTS 6, CLI 2, JMP 3.
    const Psid tune = rsid(hexBytes("a9 7f 8d 0d dc 60"));
    const TuneRun run = runTune(tune, {"3", "--machine", "--table"});
    EXPECT_EQ(run.result.err, "voxdump: start routine: endless loop at 1101; call ended\n");
    EXPECT_EQ(tableCycles(run.table), (std::vector<uint64_t>{17, 19656, 19656, 19656}));
}

}  // namespace

namespace {

TEST(MachineRun, TheMachinesProcessorExecutesUndocumentedOpcodesAndBumpIsRam) {
    // LDA #5, STA $F0, LAX $F0, STX $D400, STA $5094, RTS: the C64's
    // processor loads X with LAX, and $5094 is RAM there (no BUMP line).
    // LDA 2, STA 3, LAX 3, STX 4: the write at 12.
    const Psid tune = rsid(hexBytes("a9 05 85 f0 a7 f0 8e 00 d4 8d 94 50 60"));
    const TuneRun run = runTune(tune, {"1", "--machine"});
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.result.out.find("BUMP"), std::string::npos);
    EXPECT_EQ(run.file, "\n\n00012 d400 05\n\n#1\n");
}

}  // namespace
