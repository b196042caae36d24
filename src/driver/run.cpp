#include "driver/run.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "disasm/disasm_line.h"
#include "disasm/opcode_table.h"
#include "driver/arguments.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "sidlog/mem_write.h"
#include "sidlog/sid_log.h"
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
    switch (watchdog.reason) {
        case StopReason::UndocumentedOpcode:
            std::cerr << "undocumented opcode " << hex(watchdog.stopOpcode, 2) << " at ";
            break;
        case StopReason::EndlessLoop: std::cerr << "endless loop at "; break;
        case StopReason::CycleLimit: std::cerr << "cycle total would pass 4294967295 at "; break;
        case StopReason::None: break;
    }
    std::cerr << hex(watchdog.stopAddress, 4) << "; call ended" << std::endl;
}

void beginPlayCall(uint16_t playAddress) {
    cpuSetPc(playAddress);
    watchdogStartRoutine();
}

// The routine call runs to its $00, or until the watchdog ends it.
void runRoutine(uint32_t callNumber) {
    reportStop(cpuRun(0), callNumber);
}

// Traces the routine call one instruction at a time, the $00 line included.
void traceRoutine(OutputFile& dis, uint32_t callNumber) {
    int result;
    do {
        disasmWriteLine(cpuMemory(), 0, cpuPc(), dis);
        result = cpuRun(1);
    } while (result == kRunStepsDone);
    reportStop(result, callNumber);
}

int runLogMode(const RunSettings& settings) {
    const uint16_t play = tuneHeader().playAddress;
    sidLogOpen(settings.logFileName);
    std::cout << "Logging " << static_cast<uint32_t>(settings.callCount)
              << " play-routine calls to " << settings.logFileName << "!" << std::endl;
    runRoutine(0);
    for (uint32_t call = 1; call <= static_cast<uint32_t>(settings.callCount); ++call) {
        beginPlayCall(play);
        sidLogMarker();
        runRoutine(call);
    }
    const bool written = sidLogClose();
    std::cout << "Finished!" << std::endl;
    return written ? kExitOk : kExitFailure;
}

int runDisassemblyMode(const RunSettings& settings) {
    const uint16_t play = tuneHeader().playAddress;
    OutputFile dis;
    outputOpen(dis, settings.disFileName);
    std::cout << "Logging disassembly to " << settings.disFileName << "!" << std::endl;
    opcodeTableBuild();
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
    const bool written = outputClose(dis);
    std::cout << "Finished!" << std::endl;
    return written ? kExitOk : kExitFailure;
}

// True when writing `output` would destroy the tune file itself (the same
// name, or a link to it).
bool wouldOverwrite(const std::string& tune, const std::string& output) {
    std::error_code error;
    return std::filesystem::equivalent(tune, output, error) && !error;
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

int run(const RunSettings& settings) {
    const std::string& output = settings.disassemble ? settings.disFileName : settings.logFileName;
    if (wouldOverwrite(settings.tuneFileName, output)) {
        std::cerr << "voxdump: " << output << ": is the tune file itself; refusing to overwrite it"
                  << std::endl;
        return kExitFailure;
    }

    int status = kExitOk;
    allocateLoadBuffer();
    cpuReset(!settings.disassemble);
    memWriteReset();
    if (!settings.disassemble) memWriteListen(sidLogWrite);
    if (!loadTune(settings.tuneFileName.c_str())) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": " << tuneLoadProblem() << std::endl;
        status = kExitFailure;
    }
    printTuneHeader(std::cout);
    placeProgramData(settings);

    const TuneHeader& header = tuneHeader();
    cpuSetPc(settings.startAtInit ? header.initAddress : header.loadAddress);
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
