#include "driver/arguments.h"

#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A decimal number of digits only (no sign, no blanks), from 1 to `most`.
bool parseNumber(std::string_view text, uint64_t most, uint64_t& number) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < 1 || value > most) return false;
    number = value;
    return true;
}

// An option that takes a value: its name, what the value is called in
// diagnostics, and its range.
struct ValueOption {
    const char* name;
    const char* needs;    // "option '--song' needs a song number"
    const char* invalid;  // "invalid song number '0'"
    uint64_t most;
};

constexpr ValueOption kSong{"--song", "a song number", "song number", 256};
constexpr ValueOption kMaxCycles{"--max-cycles", "a number of cycles", "cycle budget", 0xFFFFFFFF};
constexpr ValueOption kJobs{"--jobs", "a number of threads", "number of threads", 1024};
constexpr ValueOption kCalls{"--calls", "a number of calls", "number of calls", 0x7FFFFFFF};

// Options of the collection's run that take a text: the file or folder.
struct TextOption {
    const char* name;
    const char* needs;
    std::string CollectionSettings::*field;
};
constexpr TextOption kTextOptions[] = {
    {"--songlengths", "a file name", &CollectionSettings::songLengthsFile},
    {"--csv", "a file name", &CollectionSettings::csvFile},
    {"--out", "a folder", &CollectionSettings::outDir},
    {"--shard", "a shard K/N", nullptr},
};

// "K/N" with 1 <= K <= N.
bool parseShard(std::string_view text, RunSettings& settings) {
    const size_t slash = text.find('/');
    uint64_t k = 0, n = 0;
    if (slash == std::string_view::npos || !parseNumber(text.substr(0, slash), 1000000, k) ||
        !parseNumber(text.substr(slash + 1), 1000000, n) || k > n)
        return false;
    settings.collectionRun.shard = static_cast<uint32_t>(k);
    settings.collectionRun.shards = static_cast<uint32_t>(n);
    return true;
}

// The value of the option `name` at argv[k]: after its "=", or the next
// argument (k moves on). False with the diagnostic when there is none.
bool optionValue(int argc, const char* const* argv, int& k, std::string_view name,
                 const char* needs, std::string_view& value, std::string& problem) {
    const std::string_view argument = argv[k];
    const size_t equals = argument.find('=');
    if (equals != std::string_view::npos) {
        value = argument.substr(equals + 1);
    } else if (k + 1 < argc) {
        value = argv[++k];
    } else {
        problem = "option '" + std::string(name) + "' needs " + needs;
        return false;
    }
    return true;
}

// Reads the option at argv[k] (which begins with "--"); an option that takes
// a value may take the next argument, and then moves k on. Returns false
// with the diagnostic in `problem`.
bool parseOption(int argc, const char* const* argv, int& k, RunSettings& settings, Command& command,
                 std::string& problem) {
    const std::string_view argument = argv[k];
    const size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;

    for (const TextOption& option : kTextOptions) {
        if (name != option.name) continue;
        std::string_view value;
        if (!optionValue(argc, argv, k, name, option.needs, value, problem)) return false;
        if (option.field == nullptr) {
            if (!parseShard(value, settings)) {
                problem = "invalid shard '" + std::string(value) + "' (K/N, 1 <= K <= N)";
                return false;
            }
        } else if (value.empty()) {
            problem = "option '" + std::string(name) + "' needs " + option.needs;
            return false;
        } else {
            settings.collectionRun.*option.field = value;
        }
        return true;
    }
    for (const ValueOption* option : {&kSong, &kMaxCycles, &kJobs, &kCalls}) {
        if (name != option->name) continue;
        std::string_view value;
        if (!optionValue(argc, argv, k, name, option->needs, value, problem)) return false;
        uint64_t number = 0;
        if (!parseNumber(value, option->most, number)) {
            problem = std::string("invalid ") + option->invalid + " '" + std::string(value) + "'";
            return false;
        }
        if (option == &kSong) {
            settings.song = static_cast<int>(number);
        } else if (option == &kJobs) {
            settings.collectionRun.jobs = static_cast<uint32_t>(number);
        } else if (option == &kCalls) {
            settings.collectionRun.calls = static_cast<uint32_t>(number);
        } else {
            settings.maxCycles = static_cast<uint32_t>(number);
        }
        return true;
    }
    bool* flag = name == "--undocumented" ? &settings.undocumented
                 : name == "--table"      ? &settings.table
                 : name == "--roll"       ? &settings.roll
                 : name == "--midi"       ? &settings.midi
                 : name == "--length"     ? &settings.length
                 : name == "--collection" ? &settings.collection
                 : name == "--resume"     ? &settings.collectionRun.resume
                 : name == "--machine"    ? &settings.machine
                 : name == "--whole-run"  ? &settings.wholeRun
                                          : nullptr;
    const bool known = flag != nullptr || name == "--help" || name == "--version";
    if (!known) {
        problem = "unknown option '" + std::string(argument) + "'";
        return false;
    }
    if (hasValue) {
        problem = "option '" + std::string(name) + "' takes no value";
        return false;
    }
    if (flag != nullptr) {
        *flag = true;
    } else if (command == Command::Run) {
        command = name == "--help" ? Command::Help : Command::Version;
    }
    return true;
}

// The first option given that only a collection's run takes, or nullptr.
const char* collectionOnly(const RunSettings& s) {
    if (!s.collectionRun.songLengthsFile.empty()) return "--songlengths";
    if (!s.collectionRun.csvFile.empty()) return "--csv";
    if (!s.collectionRun.outDir.empty()) return "--out";
    if (s.collectionRun.jobs != 0) return "--jobs";
    if (s.collectionRun.resume) return "--resume";
    if (s.collectionRun.calls != 0) return "--calls";
    if (s.collectionRun.shards != 0) return "--shard";
    return nullptr;
}

// voxdump --collection [options] PATH...: the positional arguments are the
// tunes and folders to play.
Command collectionArguments(const std::vector<const char*>& positional, RunSettings& settings,
                            std::string& problem) {
    if (positional.empty()) {
        problem = "--collection needs tune files or folders to play";
        return Command::BadUsage;
    }
    if (settings.collectionRun.resume && settings.collectionRun.csvFile.empty()) {
        problem = "--resume needs the --csv file of the run to resume";
        return Command::BadUsage;
    }
    if (!settings.collectionRun.songLengthsFile.empty() && settings.song > 0) {
        problem = "--songlengths needs every song of each tune; it cannot go with --song";
        return Command::BadUsage;
    }
    if ((settings.table || settings.roll || settings.midi) &&
        settings.collectionRun.outDir.empty()) {
        problem = "--table, --roll and --midi need --out DIR with --collection";
        return Command::BadUsage;
    }
    for (const char* path : positional) settings.collectionRun.paths.emplace_back(path);
    settings.length = true;
    return Command::Run;
}

}  // namespace

void printUsage() {
    std::cout << std::endl;
    std::cout << "Usage: voxdump filename [calls] [init] [asm]" << std::endl;
    std::cout << "calls ... number of play-routine calls, default is 3000" << std::endl;
    std::cout << "init  ... start execution at init address instead of load address, default is 0"
              << std::endl;
    std::cout << "asm   ... write disassembly instead of SID register writes, default is 0"
              << std::endl;
    std::cout << "Example: voxdump demo.sid 6000" << std::endl;
    std::cout << "Runs 6000 play-routine calls, SID register writes are written to demo.log"
              << std::endl;
    std::cout << "Example: voxdump demo.sid 10 0 1" << std::endl;
    std::cout << "Runs 10 play-routine calls, execution at load address, disassembly to demo.dis"
              << std::endl;
}

void printOptions() {
    std::cout << "Options, before, between or after the arguments (-- ends them):" << std::endl
              << "--undocumented  run the NMOS 6502's undocumented opcodes instead of ending the "
                 "call at one"
              << std::endl
              << "--song N        run song N (1 to 256): the start routine begins with A = N-1"
              << std::endl
              << "--table         also write a table of each call's sound chip state, with note "
                 "names, to demo.tab"
              << std::endl
              << "--roll          also write a piano-roll picture of the notes to demo.svg"
              << std::endl
              << "--midi          also write the notes as a Standard MIDI File to demo.mid"
              << std::endl
              << "--length        say how long the song lasts as a listener hears it, and stop "
                 "there (at most"
              << std::endl
              << "                30 minutes without calls); the .tab, .svg and .mid then "
                 "hold the song"
              << std::endl
              << "                alone (intro and one pass), its loop and end marked" << std::endl
              << "--whole-run     with --length, the .tab, .svg and .mid hold every call played"
              << std::endl
              << "--max-cycles N  end a routine call before it takes more than N cycles "
                 "(1 to 4294967295)"
              << std::endl
              << "--machine       run RSID tunes and tunes with play address 0 in a C64 "
                 "environment with"
              << std::endl
              << "                timer and raster interrupts; each call runs from one IRQ to "
                 "the next"
              << std::endl
              << "With --song, --table, --roll, --midi or --length and no init argument the run "
                 "starts"
              << std::endl
              << "at the init address, as a player does, with the header's start song unless "
                 "--song says;"
              << std::endl
              << "they imply --machine" << std::endl
              << "--version       print the version and exit" << std::endl
              << "-h, --help      print this text and exit" << std::endl
              << std::endl
              << "voxdump --collection [options] PATH...: every song of every tune in the files "
                 "and folders"
              << std::endl
              << "given, each played as long as its length needs (--length), on several threads:"
              << std::endl
              << "--songlengths FILE  write the song-length list that collection players read"
              << std::endl
              << "--csv FILE          write a table of the songs (RFC 4180)" << std::endl
              << "-j N, --jobs N      threads (default: one per core)" << std::endl
              << "--calls N           at most N play calls a song instead of 30 minutes"
              << std::endl
              << "--shard K/N         only every N-th tune from the K-th, in path order"
              << std::endl
              << "--resume            skip the songs the --csv file holds, and add to it"
              << std::endl
              << "--out DIR           with --table, --roll, --midi: each song's files under DIR"
              << std::endl
              << "--song, --undocumented and --max-cycles work as for one tune" << std::endl;
}

bool parseCallCount(const char* text, int32_t& count) {
    while (isSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if (value > 0x7FFFFFFF) return false;
    }
    if (negative && value != 0) return false;
    count = static_cast<int32_t>(value);
    return true;
}

bool parseFlag(const char* text) {
    return text[0] == '1';
}

std::string outputName(const std::string& tuneFileName, const char* extension) {
    // The rule works on the file's own name: a short one such as "dir/ab"
    // must not lose its folder's last characters.
    const size_t length = std::strlen(extension);
    const size_t baseLength = tuneFileName.size() - fileNameStart(tuneFileName);
    if (baseLength < length) return tuneFileName + "." + extension;
    return tuneFileName.substr(0, tuneFileName.size() - length) + extension;
}

Command parseArguments(int argc, const char* const* argv, RunSettings& settings,
                       std::string& problem) {
    if (argc <= 1) return Command::Usage;
    Command command = Command::Run;
    std::vector<const char*> positional;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const std::string_view argument = argv[k];
        if (optionsEnded || !argument.starts_with("-") || argument == "-") {
            positional.push_back(argv[k]);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h") {
            if (command == Command::Run) command = Command::Help;
        } else if (argument.starts_with("-j")) {
            // -j N or -jN: --jobs
            const std::string rest(argument.substr(2));
            const std::string option = rest.empty() ? "--jobs" : "--jobs=" + rest;
            std::vector<const char*> view = {argv[0], option.c_str()};
            if (rest.empty() && k + 1 < argc) view.push_back(argv[++k]);
            int at = 1;
            if (!parseOption(static_cast<int>(view.size()), view.data(), at, settings, command,
                             problem))
                return Command::BadUsage;
        } else if (argument.starts_with("--")) {
            if (!parseOption(argc, argv, k, settings, command, problem)) return Command::BadUsage;
        } else {
            positional.push_back(argv[k]);  // "-5" is a (bad) number of calls
        }
    }
    if (command != Command::Run) return command;
    if (settings.collection) return collectionArguments(positional, settings, problem);
    if (const char* option = collectionOnly(settings)) {
        problem = "option '" + std::string(option) + "' needs --collection";
        return Command::BadUsage;
    }
    if (positional.empty()) {
        problem = "no tune file named (voxdump --help lists the arguments)";
        return Command::BadUsage;
    }

    const std::string first = positional[0];
    settings.tuneFileName = first;
    settings.callsGiven = positional.size() >= 2;
    if (settings.callsGiven && !parseCallCount(positional[1], settings.callCount)) {
        problem = "invalid number of calls '" + std::string(positional[1]) + "'";
        return Command::BadUsage;
    }
    settings.initGiven = positional.size() >= 3;
    if (settings.initGiven) settings.startAtInit = parseFlag(positional[2]);
    if (positional.size() >= 4) settings.disassemble = parseFlag(positional[3]);
    settings.logFileName = outputName(first, "log");
    settings.disFileName = outputName(first, "dis");
    settings.tabFileName = outputName(first, "tab");
    settings.svgFileName = outputName(first, "svg");
    settings.midFileName = outputName(first, "mid");
    return Command::Run;
}
