#include "driver/run.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "disasm/disasm_line.h"
#include "disasm/opcode_table.h"
#include "driver/arguments.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "sidlog/mem_write.h"
#include "sidlog/sid_log.h"
#include "study/study.h"
#include "tune/tune.h"

namespace {

// Which routine call is running, for diagnostics: 0 is the start routine.
std::string routineName(uint32_t callNumber) {
    return callNumber == 0 ? "start routine" : "play call #" + std::to_string(callNumber);
}

std::string hex(uint32_t value, int digits) {
    char text[8];
    return std::string(text, putHex(text, value, digits, false));
}

// After a routine call: says on standard error why it was ended early, if it was.
void reportStop(int result, uint32_t callNumber) {
    if (result != kRunStopped) return;
    std::cerr << "voxdump: " << routineName(callNumber) << ": ";
    const uint8_t opcode = watchdog.stopOpcode;
    const bool jam = isJamOpcode(opcode);
    switch (watchdog.reason) {
        case StopReason::NotExecuted:
            std::cerr << (jam && cpu.undocumented ? "jam opcode " : "undocumented opcode ")
                      << hex(opcode, 2) << " at ";
            break;
        case StopReason::EndlessLoop: std::cerr << "endless loop at "; break;
        case StopReason::CycleLimit: std::cerr << "cycle total would pass 4294967295 at "; break;
        case StopReason::CycleBudget:
            std::cerr << "cycle budget " << watchdog.cycleLimit << " reached at ";
            break;
        case StopReason::None: break;
    }
    std::cerr << hex(watchdog.stopAddress, 4) << "; call ended";
    if (watchdog.reason == StopReason::NotExecuted && !jam && !cpu.undocumented)
        std::cerr << " (--undocumented runs it)";
    std::cerr << std::endl;
}

// Whether the run studies the tune (any of --table, --roll, --midi).
bool studying = false;

void beginPlayCall(uint16_t playAddress) {
    cpuSetPc(playAddress);
    watchdogStartRoutine();
}

// The routine call runs to its $00, or until the watchdog ends it.
void runRoutine(uint32_t callNumber) {
    if (studying) studyBeginCall();
    reportStop(cpuRun(0), callNumber);
    if (studying) studyEndCall(callNumber, cpu.cycleTotal);
}

// Traces the routine call one instruction at a time, the $00 line included.
void traceRoutine(OutputFile& dis, uint32_t callNumber) {
    if (studying) studyBeginCall();
    uint64_t cycles = 0;
    int result;
    do {
        disasmWriteLine(cpuMemory(), 0, cpuPc(), dis);
        result = cpuRun(1);
        cycles += cpu.cycleTotal;
    } while (result == kRunStepsDone);
    reportStop(result, callNumber);
    if (studying) studyEndCall(callNumber, cycles);
}

// Opens the files of the study, if any was asked for.
void startStudy(const RunSettings& settings) {
    studying = settings.table || settings.roll || settings.midi;
    if (!studying) return;
    StudyFiles files;
    if (settings.table) files.table = settings.tabFileName;
    if (settings.roll) files.roll = settings.svgFileName;
    if (settings.midi) files.midi = settings.midFileName;
    studyOpen(files, settings.song > 0 ? settings.song : 1,
              static_cast<uint32_t>(settings.callCount));
    memWriteListen(studyStore);
}

// Writes what the study keeps for the end; true when every file was written.
bool finishStudy() {
    return !studying || studyClose();
}

int runLogMode(const RunSettings& settings) {
    const uint16_t play = tuneHeader().playAddress;
    sidLogOpen(settings.logFileName);
    std::cout << "Logging " << static_cast<uint32_t>(settings.callCount)
              << " play-routine calls to " << settings.logFileName << "!" << std::endl;
    startStudy(settings);
    runRoutine(0);
    for (uint32_t call = 1; call <= static_cast<uint32_t>(settings.callCount); ++call) {
        beginPlayCall(play);
        sidLogMarker();
        runRoutine(call);
    }
    bool written = sidLogClose();
    written = finishStudy() && written;
    std::cout << "Finished!" << std::endl;
    return written ? kExitOk : kExitFailure;
}

int runDisassemblyMode(const RunSettings& settings) {
    const uint16_t play = tuneHeader().playAddress;
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
    const char* label = settings.startAtInit ? "init:\n" : "load:\n";
    outputLine(dis, label, 6);
    traceRoutine(dis, 0);

    const uint32_t calls = static_cast<uint32_t>(settings.callCount);
    if (calls > 0) outputLine(dis, "\n", 1);
    for (uint32_t call = 1; call <= calls; ++call) {
        beginPlayCall(play);
        char line[16] = {'#'};
        char* end = putDecimal(line + 1, call, 1);
        *end++ = ':';
        *end++ = '\n';
        outputLine(dis, line, static_cast<size_t>(end - line));
        traceRoutine(dis, call);
        if (call < calls) outputLine(dis, "\n", 1);
    }
    bool written = outputClose(dis);
    written = finishStudy() && written;
    std::cout << "Finished!" << std::endl;
    return written ? kExitOk : kExitFailure;
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

// Places the program data in memory; data past $FFFF is cut there.
void placeProgramData(const RunSettings& settings) {
    const TuneHeader& header = tuneHeader();
    const uint32_t room = 0x10000u - header.loadAddress;
    uint32_t size = static_cast<uint32_t>(header.dataSize);
    if (size > room) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": program data at "
                  << hex(header.loadAddress, 4) << " runs past ffff; " << size - room
                  << " bytes dropped" << std::endl;
        size = room;
    }
    cpuLoad(header.data, header.loadAddress, static_cast<uint16_t>(size));
}

// A stray file in a batch is run all the same, with a warning.
void warnIfNotATune(const std::string& tuneFileName) {
    const std::string id = tuneHeader().id;
    if (tuneHeaderDecoded() && id != "PSID" && id != "RSID") {
        std::cerr << "voxdump: " << tuneFileName << ": not a PSID or RSID file; running it anyway"
                  << std::endl;
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
    cpuReset(!settings.disassemble);
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
    printTuneHeader(std::cout);
    placeProgramData(settings);

    cpuSetPc(settings.startAtInit ? header.initAddress : header.loadAddress);
    if (settings.song > 0) cpu.a = static_cast<uint8_t>(settings.song - 1);  // players read A
    watchdogStartRoutine();
    std::cout << "Starting execution at " << (settings.startAtInit ? "init" : "load") << " address!"
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
        case Command::Run: status = run(settings); break;
    }
    if (!std::cout.flush()) {
        std::cerr << "voxdump: standard output: write failed" << std::endl;
        return kExitFailure;
    }
    return status;
}
