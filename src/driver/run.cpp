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
#include "machine/machine.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "sidlog/mem_write.h"
#include "sidlog/sid_log.h"
#include "song/call_rate.h"
#include "song/song_length.h"
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

// After a routine call: says on standard error why it was ended early, if it
// was; `budget` is the run's cycle budget.
void reportStop(int result, uint32_t callNumber, uint32_t budget) {
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
            std::cerr << "cycle budget " << budget << " reached at ";
            break;
        case StopReason::None: break;
    }
    std::cerr << hex(watchdog.stopAddress, 4) << "; call ended";
    if (watchdog.reason == StopReason::NotExecuted && !jam && !cpu.undocumented)
        std::cerr << " (--undocumented runs it)";
    std::cerr << std::endl;
}

// What a run plays, decided from the options and the header before it starts.
struct Plan {
    bool atInit;    // start at the init address
    int song;       // 1 to 256
    bool setSong;   // the first routine begins with A = song - 1
    bool studying;  // any of --table, --roll, --midi
    bool length;    // --length
    // The most play calls; with --length and no calls argument it is known
    // once the start routine has set the call rate.
    uint32_t calls;
    bool callsAfterStart;
    bool machine;     // the tune runs in the machine environment
    uint32_t budget;  // --max-cycles, 0 when not given
    // In the environment, --length without a calls argument runs up to
    // kLengthSeconds of the machine's time: the interrupts' rate may change.
    uint64_t capCycles;  // 0: no such cap
};

Plan plan;

// The song's length cap without a calls argument.
constexpr uint32_t kLengthSeconds = 30 * 60;

// A tune that installs its own interrupt handler: an RSID tune, or a PSID
// tune without a play address.
bool interruptDriven(const TuneHeader& header) {
    return std::string(header.id) == "RSID" || header.playAddress == 0;
}

// An RSID tune whose BASIC flag says it runs in the BASIC interpreter.
bool needsBasic(const TuneHeader& header) {
    return std::string(header.id) == "RSID" && header.version >= 2 && (header.flags & 2);
}

// A player starts a song at the init address with the song's number in A:
// any option that studies songs does so too, unless the init argument says
// otherwise; without --song the header's start song plays (0 is song 1).
Plan planOf(const RunSettings& settings, const TuneHeader& header) {
    Plan p{};
    p.studying = settings.table || settings.roll || settings.midi;
    p.length = settings.length;
    p.budget = settings.maxCycles;
    const bool playing = settings.song > 0 || p.studying || p.length;
    // The environment starts as a player does, whatever the init argument says.
    p.machine = (settings.machine || playing) && interruptDriven(header);
    const bool asPlayer = (playing && !settings.initGiven) || p.machine;
    p.atInit = settings.initGiven && !p.machine ? settings.startAtInit : asPlayer;
    p.setSong = settings.song > 0 || asPlayer;
    p.song = settings.song > 0                                              ? settings.song
             : asPlayer && header.startSong >= 1 && header.startSong <= 256 ? header.startSong
                                                                            : 1;
    p.calls = static_cast<uint32_t>(settings.callCount);
    p.callsAfterStart = p.length && !settings.callsGiven;
    if (p.machine && p.callsAfterStart) {
        p.calls = 0x7FFFFFFF;
        p.capCycles = uint64_t{kLengthSeconds} * (tuneIsNtsc(header) ? kNtscClock : kPalClock);
    }
    return p;
}

// A flat play call starts at the play address; the machine goes on.
void beginPlayCall(uint16_t playAddress) {
    if (plan.machine) return;
    cpuSetPc(playAddress);
    watchdogStartRoutine();
}

// After each routine call: the call rate, the study and the song's length
// take their look. True when the song has started to repeat.
bool endCall(uint32_t call, uint64_t cycles) {
    const uint8_t* memory = cpuMemory();
    if (plan.machine) {
        callRateCallCycles(call, cycles);
    } else {
        callRateAfterCall(
            call, static_cast<uint16_t>(memory[kTimerLatchLow] | memory[kTimerLatchLow + 1] << 8));
    }
    if (call == 0) {
        if (plan.callsAfterStart && !plan.machine) plan.calls = callsWithin(kLengthSeconds);
        if (plan.studying)
            studySetCalls(plan.calls, plan.length, plan.capCycles != 0 ? kLengthSeconds : 0);
    }
    if (plan.studying) studyEndCall(call, cycles);
    return plan.length && songLengthAfterCall(call);
}

// The machine's next call, traced into `dis` when it is given.
bool runMachineCall(uint32_t callNumber, const MachineTrace* trace) {
    if (plan.studying) studyBeginCall();
    const MachineCall call = machineRunCall(trace);
    reportStop(call.stopped ? kRunStopped : kRunStepsDone, callNumber, plan.budget);
    return endCall(callNumber, call.cycles);
}

// The routine call runs to its $00, or until the watchdog ends it.
bool runRoutine(uint32_t callNumber) {
    if (plan.machine) return runMachineCall(callNumber, nullptr);
    if (plan.studying) studyBeginCall();
    reportStop(cpuRun(0), callNumber, plan.budget);
    return endCall(callNumber, cpu.cycleTotal);
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
    if (plan.machine) {
        traceFile = &dis;
        static constexpr MachineTrace kTrace{traceInstruction, traceInterrupt};
        return runMachineCall(callNumber, &kTrace);
    }
    if (plan.studying) studyBeginCall();
    uint64_t cycles = 0;
    int result;
    do {
        disasmWriteLine(cpuMemory(), 0, cpuPc(), dis);
        result = cpuRun(1);
        cycles += cpu.cycleTotal;
    } while (result == kRunStepsDone);
    reportStop(result, callNumber, plan.budget);
    return endCall(callNumber, cycles);
}

// Opens the files of the study, if any was asked for.
void startStudy(const RunSettings& settings) {
    if (!plan.studying) return;
    StudyFiles files;
    if (settings.table) files.table = settings.tabFileName;
    if (settings.roll) files.roll = settings.svgFileName;
    if (settings.midi) files.midi = settings.midFileName;
    studyOpen(files, plan.song);
    memWriteListen(studyStore);
}

// The line that says how long the song lasts, after `calls` play calls.
std::string lengthLine(uint32_t calls) {
    return plan.length ? songLengthLine(plan.song, tuneHeader().songs, calls) : std::string();
}

// Writes what the study keeps for the end, the table closed with `closing`;
// true when every file was written.
bool finishStudy(const std::string& closing) {
    if (!plan.studying) return true;
    const SongLength length = songLength();
    return studyClose(plan.length && length.repeats ? length.first + 1 : 0, closing);
}

// The run is over after `calls` play calls: "Finished!" and, with --length,
// how long the song lasts.
int finish(bool written, uint32_t calls) {
    const std::string length = lengthLine(calls);
    written = finishStudy(length) && written;
    std::cout << "Finished!" << std::endl;
    if (plan.length) std::cout << length << std::endl;
    return written ? kExitOk : kExitFailure;
}

void announceLog(const RunSettings& settings) {
    if (plan.capCycles != 0) {
        std::cout << "Logging up to " << kLengthSeconds / 60 << " minutes of play-routine calls to "
                  << settings.logFileName << "!" << std::endl;
        return;
    }
    std::cout << "Logging " << plan.calls << " play-routine calls to " << settings.logFileName
              << "!" << std::endl;
}

// True when another play call is to run after `call` calls.
bool moreCalls(uint32_t call) {
    if (call >= plan.calls) return false;
    return plan.capCycles == 0 || callStart(call + 1) < plan.capCycles;
}

int runLogMode(const RunSettings& settings) {
    const uint16_t play = tuneHeader().playAddress;
    sidLogOpen(settings.logFileName);
    if (!plan.callsAfterStart) announceLog(settings);
    startStudy(settings);
    bool repeats = runRoutine(0);
    if (plan.callsAfterStart) announceLog(settings);
    uint32_t call = 0;
    while (!repeats && moreCalls(call)) {
        beginPlayCall(play);
        sidLogMarker();
        repeats = runRoutine(++call);
    }
    return finish(sidLogClose(), call);
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
    const char* label = plan.atInit ? "init:\n" : "load:\n";
    outputLine(dis, label, 6);
    bool repeats = traceRoutine(dis, 0);

    uint32_t call = 0;
    while (!repeats && moreCalls(call)) {
        beginPlayCall(play);
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
    plan = planOf(settings, header);
    if (plan.machine && needsBasic(header)) {
        std::cerr << "voxdump: " << settings.tuneFileName
                  << ": the tune runs in the BASIC interpreter (RSID BASIC flag), which the "
                     "machine environment does not have"
                  << std::endl;
        return kExitFailure;
    }
    if (plan.machine) memWriteFromChip();
    if (!settings.disassemble) memWriteListen(sidLogWrite);
    printTuneHeader(std::cout);
    placeProgramData(settings);

    if (plan.machine) {
        const uint16_t idle =
            machineIdlePlace(header.loadAddress, static_cast<uint32_t>(header.dataSize),
                             static_cast<uint8_t>(header.reserved >> 24),
                             static_cast<uint8_t>(header.reserved >> 16));
        const uint8_t bank = machineStartBank(std::string(header.id) == "RSID", header.loadAddress,
                                              static_cast<uint32_t>(header.dataSize));
        machineStart({tuneIsNtsc(header), header.initAddress, static_cast<uint8_t>(plan.song - 1),
                      settings.maxCycles, idle, bank, memWriteSound});
    } else {
        cpuSetPc(plan.atInit ? header.initAddress : header.loadAddress);
        if (plan.setSong) cpu.a = static_cast<uint8_t>(plan.song - 1);  // players read A
        watchdogStartRoutine();
    }
    callRateReset(header, plan.song);
    if (plan.machine) callRateMeasure();
    if (plan.length) songLengthStart(plan.machine ? machineStateWords : nullptr);
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
        case Command::Run: status = run(settings); break;
    }
    if (!std::cout.flush()) {
        std::cerr << "voxdump: standard output: write failed" << std::endl;
        return kExitFailure;
    }
    return status;
}
