// The command line: voxdump filename [calls] [init] [asm]
#pragma once

#include <cstdint>
#include <string>

struct RunSettings {
    std::string tuneFileName;
    int32_t callCount = 3000;
    bool startAtInit = false;
    bool disassemble = false;
    std::string logFileName;
    std::string disFileName;
};

enum class Command { Run, Usage, Version, BadCallCount };

// Reads the arguments (argv[0] is the program). For BadCallCount the
// offending argument is stored in `badArgument`.
Command parseArguments(int argc, const char* const* argv, RunSettings& settings,
                       std::string& badArgument);

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
