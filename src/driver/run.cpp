#include "driver/run.h"

#include <cerrno>
#include <cstring>
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
#include "output/time_text.h"
#include "platform/console.h"
#include "platform/raw_file.h"
#include "platform/stop.h"
#include "play/session.h"
#include "sidlog/mem_write.h"
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
// how long the song lasts (also at the table's end; the study's files hold
// the song, its loop and end marked, unless the whole run is wanted). A run
// the user stopped (SIGINT, SIGTERM) removes the study's files, which it had
// not finished, says nothing more and exits with 128 and the signal's number;
// the .log or .dis keeps the whole lines of the calls played.
int finish(Session& session, bool written, uint32_t calls, bool wholeRun) {
    if (const int signal = stopSignal(); signal != 0) {
        session.discardStudy();
        stopHandlersUninstall();
        return 128 + signal;
    }
    const PlayPlan& plan = session.plan();
    std::string length;
    if (plan.length) length = session.lengthLine(calls);
    written = session.closeStudy(session.songSpan(wholeRun), length) && written;
    stopHandlersUninstall();
    // Announced before the run as "up to" a time, the calls played are said
    // once they are known.
    if (plan.callsAfterStart) {
        const CallRate& rate = session.rate();
        std::cout << "Played " << calls << " play-routine calls ("
                  << clockTime(rate.start(calls + 1), rate.clock()) << ")." << std::endl;
    }
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
    hooks.stopOnSignal = true;
    hooks.context = &run;
    if (afterStart) hooks.afterStart = [](void* r) { announceLog(*static_cast<LogRun*>(r)); };
    hooks.beforeCall = [](void* r, uint32_t) { static_cast<LogRun*>(r)->log.marker(); };
    const uint32_t calls = session.play(hooks);
    return finish(session, run.log.close(), calls, settings.wholeRun);
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
    hooks.stopOnSignal = true;
    hooks.context = &dis;
    hooks.instruction = traceInstruction;
    hooks.interrupt = traceInterrupt;
    hooks.beforeCall = traceCallLabel;
    const uint32_t calls = session.play(hooks);
    return finish(session, outputClose(dis), calls, settings.wholeRun);
}

// True when writing `output` would destroy the tune file itself (the same
// name, or a link to it).
bool wouldOverwrite(const std::string& tune, const std::string& output) {
    std::error_code error;
    return std::filesystem::equivalent(tune, output, error) && !error;
}

// A run that stored nothing into the sound chip: what would play the tune
// (empty when there is nothing to suggest).
std::string silentHint(const PlayPlan& plan, const TuneHeader& header) {
    std::string text = "nothing was stored into the sound chip";
    if (!plan.machine && (tuneIsRsid(header) || header.playAddress == 0))
        return text + "; --machine runs " +
               (tuneIsRsid(header) ? "an RSID tune" : "a tune with play address 0") +
               " with its interrupts, as a C64 does";
    if (!plan.atInit)
        return text +
               " from the load address; the third argument 1 (start at init), --song "
               "or --length starts it as a player does";
    if (header.songs > 1) return text + "; another --song may play";
    return std::string();  // nothing to suggest
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

// With the study's files asked for, every output is tried before the work
// (under the name a file made whole is written beside, removed at once): one
// that cannot be created is said once, for all, and the run does not start.
// A plain run goes on as it always did, its log's failure said when it opens.
bool outputsCreatable(const std::vector<std::string>& names) {
    std::string failed, reason;
    for (const std::string& name : names) {
        const std::string part = outputPartName(name);
        int error = 0;
        std::error_code status;
        const bool folder = std::filesystem::is_directory(std::filesystem::u8path(name), status);
        const int handle = folder ? -1 : rawCreate(part.c_str(), error);
        if (folder) error = EISDIR;
        if (handle < 0) {
            failed += (failed.empty() ? "" : ", ") + name;
            if (reason.empty()) reason = std::strerror(error);
            continue;
        }
        rawClose(handle, error);
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(part), ignored);
    }
    if (failed.empty()) return true;
    diagnose(failed + ": cannot create: " + reason + "; nothing played");
    return false;
}

int run(const RunSettings& settings) {
    const std::vector<std::string> outputs = outputNames(settings);
    for (const std::string& output : outputs) {
        if (wouldOverwrite(settings.tuneFileName, output)) {
            std::cerr << "voxdump: " << output
                      << ": is the tune file itself; refusing to overwrite it" << std::endl;
            return kExitFailure;
        }
    }
    if (outputs.size() > 1 && !outputsCreatable(outputs)) return kExitFailure;

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
    // From here a signal stops the play at the next call, and the run ends tidily.
    stopHandlersInstall();

    uint64_t stores = 0;
    session.listen(storeCounter(stores));
    const int modeStatus = settings.disassemble ? runDisassemblyMode(session, settings)
                                                : runLogMode(session, settings);
    diagnostics.flush();
    // A run that played, stored nothing and said nothing else says what
    // would play the tune.
    if (stores == 0 && status == kExitOk && modeStatus == kExitOk && diagnostics.count() == 0 &&
        session.plan().calls > 0 && tuneIsTune(header)) {
        const std::string hint = silentHint(session.plan(), header);
        if (!hint.empty()) diagnose(settings.tuneFileName + ": " + hint);
    }
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
    c.wholeRun = s.wholeRun;
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
