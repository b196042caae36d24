#include "driver/arguments.h"

#include <cstring>
#include <iostream>

namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
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
    const size_t slash = tuneFileName.find_last_of('/');
    const size_t baseLength =
        slash == std::string::npos ? tuneFileName.size() : tuneFileName.size() - slash - 1;
    if (baseLength < length) return tuneFileName + "." + extension;
    return tuneFileName.substr(0, tuneFileName.size() - length) + extension;
}

Command parseArguments(int argc, const char* const* argv, RunSettings& settings,
                       std::string& badArgument) {
    if (argc <= 1) return Command::Usage;
    const std::string first = argv[1];
    if (argc == 2 && (first == "-h" || first == "--help")) return Command::Usage;
    if (argc == 2 && first == "--version") return Command::Version;

    settings.tuneFileName = first;
    if (argc >= 3 && !parseCallCount(argv[2], settings.callCount)) {
        badArgument = argv[2];
        return Command::BadCallCount;
    }
    if (argc >= 4) settings.startAtInit = parseFlag(argv[3]);
    if (argc >= 5) settings.disassemble = parseFlag(argv[4]);
    settings.logFileName = outputName(first, "log");
    settings.disFileName = outputName(first, "dis");
    return Command::Run;
}
