#include "driver/run.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "disasm/disasm_line.h"
#include "disasm/opcode_table.h"
#include "driver/arguments.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "play/play.h"
#include "sidlog/mem_write.h"
#include "sidlog/sid_log.h"
#include "song/call_rate.h"
#include "song/song_length.h"
#include "study/study.h"
#include "tune/tune.h"

namespace {

// What a run plays, decided from the options and the header before it starts.
// A player starts a song at the init address with the song's number in A:
// any option that studies songs does so too, unless the init argument says
// otherwise; without --song the header's start song plays (0 is song 1).
PlayPlan planOf(const RunSettings& settings, const TuneHeader& header) {
    PlayPlan p{};
    p.length = settings.length;
    // The length is heard in the notes: the study follows the chip for it too.
    p.studying = settings.table || settings.roll || settings.midi || p.length;
    p.budget = settings.maxCycles;
    const bool playing = settings.song > 0 || p.studying;
    // The environment starts as a player does, whatever the init argument says.
    p.machine = (settings.machine || playing) && playInterruptDriven(header);
    const bool asPlayer = (playing && !settings.initGiven) || p.machine;
    p.atInit = settings.initGiven && !p.machine ? settings.startAtInit : asPlayer;
    p.setSong = settings.song > 0 || asPlayer;
    p.song = settings.song > 0                                              ? settings.song
             : asPlayer && header.startSong >= 1 && header.startSong <= 256 ? header.startSong
                                                                            : 1;
    p.calls = static_cast<uint32_t>(settings.callCount);
    p.callsAfterStart = p.length && !settings.callsGiven;
    return p;
}

// Where the machine's trace goes.
thread_local OutputFile* traceFile = nullptr;

void traceInstruction(uint16_t pc, const uint8_t bytes[3]) {
    disasmWriteBytes(bytes, pc, *traceFile);
}

// An interrupt's entry: a line of its own before the trace of its code.
void traceInterrupt(bool nmi) {
    outputLine(*traceFile, nmi ? "nmi:\n" : "irq:\n", 5);
}

// Traces the routine call one instruction at a time, the $00 line included.
bool traceRoutine(OutputFile& dis, uint32_t callNumber) {
    if (playPlan().machine) {
        traceFile = &dis;
        static constexpr MachineTrace kTrace{traceInstruction, traceInterrupt};
        return playMachineCall(callNumber, &kTrace);
    }
    if (playPlan().studying) studyBeginCall();
    uint64_t cycles = 0;
    int result;
    do {
        disasmWriteLine(cpuMemory(), cpuPc(), dis);
        result = cpuRun(1);
        cycles += cpu.cycleTotal;
    } while (result == kRunStepsDone);
    playReportStop(result, callNumber);
    return playEndCall(callNumber, cycles);
}

// Opens the files of the study, if any was asked for.
void startStudy(const RunSettings& settings) {
    const PlayPlan& plan = playPlan();
    if (!plan.studying) return;
    StudyFiles files;
    if (settings.table) files.table = settings.tabFileName;
    if (settings.roll) files.roll = settings.svgFileName;
    if (settings.midi) files.midi = settings.midFileName;
    studyOpen(files, plan.song);
    memWriteListen(studyStore);
}

// The run is over after `calls` play calls: "Finished!" and, with --length,
// how long the song lasts (also at the table's end, and the loop's start
// marked in the MIDI file).
int finish(bool written, uint32_t calls) {
    const PlayPlan& plan = playPlan();
    std::string length;
    uint32_t loopCall = 0;
    if (plan.length) {
        const HeardLength heard = playHeardLength();
        length = songLengthLine(plan.song, tuneHeader().songs, calls, heard);
        if (heard.kind == HeardKind::Loop) loopCall = heard.start;
    }
    if (plan.studying) written = studyClose(loopCall, length) && written;
    std::cout << "Finished!" << std::endl;
    if (plan.length) std::cout << length << std::endl;
    return written ? kExitOk : kExitFailure;
}

void announceLog(const RunSettings& settings) {
    if (playPlan().capCycles != 0) {
        std::cout << "Logging up to " << kPlaySeconds / 60 << " minutes of play-routine calls to "
                  << settings.logFileName << "!" << std::endl;
        return;
    }
    std::cout << "Logging " << playPlan().calls << " play-routine calls to " << settings.logFileName
              << "!" << std::endl;
}

int runLogMode(const RunSettings& settings) {
    const PlayPlan& plan = playPlan();
    sidLogOpen(settings.logFileName);
    if (!plan.callsAfterStart) announceLog(settings);
    startStudy(settings);
    bool repeats = playRoutine(0);
    if (plan.callsAfterStart) announceLog(settings);
    uint32_t call = 0;
    while (!repeats && playMoreCalls(call)) {
        playBeginCall();
        sidLogMarker();
        repeats = playRoutine(++call);
    }
    return finish(sidLogClose(), call);
}

int runDisassemblyMode(const RunSettings& settings) {
    const PlayPlan& plan = playPlan();
    OutputFile dis;
    outputOpen(dis, settings.disFileName);
    std::cout << "Logging disassembly to " << settings.disFileName << "!" << std::endl;
    startStudy(settings);
    opcodeTableBuild();
    if (settings.undocumented) opcodeTableAddUndocumented();
    std::ostringstream head;
    printTuneHeader(head);
    head << "\n";
    outputLines(dis, head.str());
    const char* label = plan.atInit ? "init:\n" : "load:\n";
    outputLine(dis, label, 6);
    bool repeats = traceRoutine(dis, 0);

    uint32_t call = 0;
    while (!repeats && playMoreCalls(call)) {
        playBeginCall();
        char line[16] = {'\n', '#'};
        char* end = putDecimal(line + 2, ++call, 1);
        *end++ = ':';
        *end++ = '\n';
        outputLines(dis, std::string_view(line, static_cast<size_t>(end - line)));
        repeats = traceRoutine(dis, call);
    }
    return finish(outputClose(dis), call);
}

// True when writing `output` would destroy the tune file itself (the same
// name, or a link to it).
bool wouldOverwrite(const std::string& tune, const std::string& output) {
    std::error_code error;
    return std::filesystem::equivalent(tune, output, error) && !error;
}

// The names of every file the run will write.
std::vector<std::string> outputNames(const RunSettings& settings) {
    std::vector<std::string> names{settings.disassemble ? settings.disFileName
                                                        : settings.logFileName};
    if (settings.table) names.push_back(settings.tabFileName);
    if (settings.roll) names.push_back(settings.svgFileName);
    if (settings.midi) names.push_back(settings.midFileName);
    return names;
}

// A stray file in a batch is run all the same, with a warning.
void warnIfNotATune(const std::string& tuneFileName) {
    const std::string id = tuneHeader().id;
    if (tuneHeaderDecoded() && id != "PSID" && id != "RSID") {
        diagnose(tuneFileName + ": not a PSID or RSID file; running it anyway");
    }
}

int run(const RunSettings& settings) {
    for (const std::string& output : outputNames(settings)) {
        if (wouldOverwrite(settings.tuneFileName, output)) {
            std::cerr << "voxdump: " << output
                      << ": is the tune file itself; refusing to overwrite it" << std::endl;
            return kExitFailure;
        }
    }

    int status = kExitOk;
    allocateLoadBuffer();
    cpuReset();
    cpuSetUndocumented(settings.undocumented);
    if (settings.maxCycles > 0) watchdogSetCycleBudget(settings.maxCycles);
    memWriteReset();
    if (!settings.disassemble) memWriteListen(sidLogWrite);
    const bool loaded = loadTune(settings.tuneFileName.c_str());
    warnIfNotATune(settings.tuneFileName);
    if (!loaded) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": " << tuneLoadProblem() << std::endl;
        status = kExitFailure;
    }
    const TuneHeader& header = tuneHeader();
    if (settings.song > header.songs && header.songs >= 1) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": no song " << settings.song
                  << "; the tune has " << header.songs << (header.songs == 1 ? " song" : " songs")
                  << std::endl;
        return kExitUsage;
    }
    const PlayPlan plan = planOf(settings, header);
    if (plan.machine && playNeedsBasic(header)) {
        diagnose(settings.tuneFileName + ": " + kNeedsBasic);
        return kExitFailure;
    }
    printTuneHeader(std::cout);
    playPlaceProgramData(settings.tuneFileName);
    playStart(plan);
    std::cout << "Starting execution at " << (plan.atInit ? "init" : "load") << " address!"
              << std::endl;

    const int modeStatus =
        settings.disassemble ? runDisassemblyMode(settings) : runLogMode(settings);
    return status != kExitOk ? status : modeStatus;
}

}  // namespace

int voxdumpMain(int argc, const char* const* argv) {
    consoleBinaryMode();
    RunSettings settings;
    std::string problem;
    int status = kExitOk;
    switch (parseArguments(argc, argv, settings, problem)) {
        case Command::Usage: printUsage(); break;
        case Command::Help:
            printUsage();
            printOptions();
            break;
        case Command::Version: std::cout << "voxdump " VOXDUMP_VERSION << std::endl; break;
        case Command::BadUsage: std::cerr << "voxdump: " << problem << std::endl; return kExitUsage;
        case Command::Run:
            status = settings.collection ? runCollection(settings) : run(settings);
            break;
    }
    if (!std::cout.flush()) {
        std::cerr << "voxdump: standard output: write failed" << std::endl;
        return kExitFailure;
    }
    return status;
}
