// The command line: voxdump filename [calls] [init] [asm], and the options,
// which may stand anywhere among those ("--" ends them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collection/collection.h"

struct RunSettings {
    std::string tuneFileName;
    int32_t callCount = 3000;
    bool callsGiven = false;  // the second argument was given
    bool startAtInit = false;
    bool initGiven = false;  // the third argument was given
    bool disassemble = false;
    std::string logFileName;
    std::string disFileName;

    bool undocumented = false;  // --undocumented: run the NMOS undocumented opcodes
    int song = 0;               // --song N: 1 to 256; 0 when not given
    bool table = false;         // --table: <name>.tab
    bool roll = false;          // --roll: <name>.svg
    bool midi = false;          // --midi: <name>.mid
    uint32_t maxCycles = 0;     // --max-cycles N: a routine call's cycle budget; 0 when not given
    bool length = false;        // --length: stop where the song repeats, and say how long it lasts
    bool machine = false;       // --machine: interrupt-driven tunes run in the machine environment
    bool wholeRun = false;      // --whole-run: the study's files hold every call, not the song
    std::string tabFileName, svgFileName, midFileName;

    // voxdump --collection [options] PATH...: the options of the collection's
    // run alone (the song options above are copied into it when it runs).
    bool collection = false;
    CollectionSettings collectionRun;
};

enum class Command {
    Run,
    Usage,     // no arguments: the usage text
    Help,      // -h or --help: the usage text and the options
    Version,   // --version
    BadUsage,  // a malformed command line; `problem` says why
};

// Reads the arguments (argv[0] is the program). For BadUsage the diagnostic,
// without the "voxdump: " in front, goes to `problem`.
Command parseArguments(int argc, const char* const* argv, RunSettings& settings,
                       std::string& problem);

// The output name: the last three characters of the tune's name replaced by
// `extension`; a file name (without its folder) shorter than that gets "."
// and the extension appended.
std::string outputName(const std::string& tuneFileName, const char* extension);

// Reads a decimal count the way the C library's atol does: leading white
// space, an optional sign, digits up to the first other character, 0 without
// digits. False for a negative value or one above 2147483647.
bool parseCallCount(const char* text, int32_t& count);

// True exactly when the flag argument's first character is "1".
bool parseFlag(const char* text);

void printUsage();
void printOptions();
