#include "driver/run.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "disasm/disasm_line.h"
#include "disasm/opcode_table.h"
#include "driver/arguments.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "play/session.h"
#include "sidlog/sid_log.h"
#include "tune/tune.h"

namespace {

// What a run plays, decided from the options and the header before it starts.
// A player starts a song at the init address with the song's number in A:
// any option that studies songs does so too, unless the init argument says
// otherwise; without --song the header's start song plays (0 is song 1).
PlayPlan planOf(const RunSettings& settings, const TuneHeader& header) {
    PlayPlan p;
    p.length = settings.length;
    // The length is heard in the notes: the study follows the chip for it too.
    p.studying = settings.table || settings.roll || settings.midi || p.length;
    p.budget = settings.maxCycles;
    p.undocumented = settings.undocumented;
    const bool playing = settings.song > 0 || p.studying;
    // The environment starts as a player does, whatever the init argument says.
    p.machine = (settings.machine || playing) && tuneInterruptDriven(header);
    const bool asPlayer = (playing && !settings.initGiven) || p.machine;
    p.atInit = settings.initGiven && !p.machine ? settings.startAtInit : asPlayer;
    p.setSong = settings.song > 0 || asPlayer;
    p.song = settings.song > 0                                              ? settings.song
             : asPlayer && header.startSong >= 1 && header.startSong <= 256 ? header.startSong
                                                                            : 1;
    p.calls = static_cast<uint32_t>(settings.callCount);
    p.callsAfterStart = p.length && !settings.callsGiven;
    p.playerReturns = playing;
    return p;
}

// The study's files, if any was asked for.
StudyFiles studyFilesOf(const RunSettings& settings) {
    StudyFiles files;
    if (settings.table) files.table = settings.tabFileName;
    if (settings.roll) files.roll = settings.svgFileName;
    if (settings.midi) files.midi = settings.midFileName;
    return files;
}

// The run is over after `calls` play calls: "Finished!" and, with --length,
// how long the song lasts (also at the table's end, and the loop's start
// marked in the MIDI file).
int finish(Session& session, bool written, uint32_t calls) {
    const PlayPlan& plan = session.plan();
    std::string length;
    uint32_t loopCall = 0;
    if (plan.length) {
        const HeardLength heard = session.heardLength();
        length = session.lengthLine(calls);
        if (heard.kind == HeardKind::Loop) loopCall = heard.start;
    }
    written = session.closeStudy(loopCall, length) && written;
    std::cout << "Finished!" << std::endl;
    if (plan.length) std::cout << length << std::endl;
    return written ? kExitOk : kExitFailure;
}

// The log mode's console line: the calls to play, or the time.
struct LogRun {
    const Session* session;
    const std::string* logFileName;
    SidLog log;
};

void announceLog(const LogRun& run) {
    if (run.session->capCycles() != 0) {
        std::cout << "Logging up to " << kPlaySeconds / 60 << " minutes of play-routine calls to "
                  << *run.logFileName << "!" << std::endl;
        return;
    }
    std::cout << "Logging " << run.session->plan().calls << " play-routine calls to "
              << *run.logFileName << "!" << std::endl;
}

int runLogMode(Session& session, const RunSettings& settings) {
    LogRun run{&session, &settings.logFileName, {}};
    run.log.open(settings.logFileName, session.tune().header);
    session.listen(run.log.listener());
    // Without a number of calls the console says them once the start routine
    // has set the call rate.
    const bool afterStart = session.plan().callsAfterStart;
    if (!afterStart) announceLog(run);
    session.openStudy(studyFilesOf(settings));
    SessionHooks hooks;
    hooks.context = &run;
    if (afterStart) hooks.afterStart = [](void* r) { announceLog(*static_cast<LogRun*>(r)); };
    hooks.beforeCall = [](void* r, uint32_t) { static_cast<LogRun*>(r)->log.marker(); };
    const uint32_t calls = session.play(hooks);
    return finish(session, run.log.close(), calls);
}

// The .dis trace: a line per instruction, "irq:" or "nmi:" at an
// interrupt's entry, and "#k:" before each play call.
void traceInstruction(void* dis, uint16_t pc, const uint8_t bytes[3]) {
    disasmWriteBytes(bytes, pc, *static_cast<OutputFile*>(dis));
}

void traceInterrupt(void* dis, bool nmi) {
    outputLine(*static_cast<OutputFile*>(dis), nmi ? "nmi:\n" : "irq:\n", 5);
}

void traceCallLabel(void* dis, uint32_t call) {
    char line[16] = {'\n', '#'};
    char* end = putDecimal(line + 2, call, 1);
    *end++ = ':';
    *end++ = '\n';
    outputLines(*static_cast<OutputFile*>(dis),
                std::string_view(line, static_cast<size_t>(end - line)));
}

int runDisassemblyMode(Session& session, const RunSettings& settings) {
    OutputFile dis;
    outputOpen(dis, settings.disFileName);
    std::cout << "Logging disassembly to " << settings.disFileName << "!" << std::endl;
    session.openStudy(studyFilesOf(settings));
    opcodeTableBuild();
    if (settings.undocumented || session.plan().machine) opcodeTableAddUndocumented();
    std::ostringstream head;
    printTuneHeader(head, session.tune().header);
    head << "\n";
    outputLines(dis, head.str());
    const char* label = session.plan().atInit ? "init:\n" : "load:\n";
    outputLine(dis, label, 6);
    SessionHooks hooks;
    hooks.context = &dis;
    hooks.instruction = traceInstruction;
    hooks.interrupt = traceInterrupt;
    hooks.beforeCall = traceCallLabel;
    const uint32_t calls = session.play(hooks);
    return finish(session, outputClose(dis), calls);
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

int run(const RunSettings& settings) {
    for (const std::string& output : outputNames(settings)) {
        if (wouldOverwrite(settings.tuneFileName, output)) {
            std::cerr << "voxdump: " << output
                      << ": is the tune file itself; refusing to overwrite it" << std::endl;
            return kExitFailure;
        }
    }

    int status = kExitOk;
    Tune tune;
    const bool loaded = loadTune(settings.tuneFileName.c_str(), tune);
    // A stray file in a batch is run all the same, with a warning.
    if (tune.decoded && !tuneIsTune(tune.header))
        diagnose(settings.tuneFileName + ": not a PSID or RSID file; running it anyway");
    if (!loaded) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": " << tune.problem << std::endl;
        status = kExitFailure;
    }
    const TuneHeader& header = tune.header;
    if (settings.song > header.songs && header.songs >= 1) {
        std::cerr << "voxdump: " << settings.tuneFileName << ": no song " << settings.song
                  << "; the tune has " << header.songs << (header.songs == 1 ? " song" : " songs")
                  << std::endl;
        return kExitUsage;
    }
    const PlayPlan plan = planOf(settings, header);
    if (plan.machine && tuneNeedsBasic(header)) {
        diagnose(settings.tuneFileName + ": " + kNeedsBasic);
        return kExitFailure;
    }
    printTuneHeader(std::cout, header);
    Diagnostics diagnostics;
    Session session(std::move(tune), plan, settings.tuneFileName, diagnostics);
    std::cout << "Starting execution at " << (plan.atInit ? "init" : "load") << " address!"
              << std::endl;

    const int modeStatus = settings.disassemble ? runDisassemblyMode(session, settings)
                                                : runLogMode(session, settings);
    return status != kExitOk ? status : modeStatus;
}

// The collection's settings from the command line's.
CollectionSettings collectionSettingsOf(const RunSettings& s) {
    CollectionSettings c = s.collectionRun;
    c.song = s.song;
    c.undocumented = s.undocumented;
    c.maxCycles = s.maxCycles;
    c.table = s.table;
    c.roll = s.roll;
    c.midi = s.midi;
    return c;
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
            status =
                settings.collection ? runCollection(collectionSettingsOf(settings)) : run(settings);
            break;
    }
    if (!std::cout.flush()) {
        std::cerr << "voxdump: standard output: write failed" << std::endl;
        return kExitFailure;
    }
    return status;
}
