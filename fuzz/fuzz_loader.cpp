// Arbitrary bytes as a tune file: the loader and the header report.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "tune/tune.h"

namespace {

std::string scratchFile() {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("voxdump-fuzz-loader-" + std::to_string(getpid())))
                                        .string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = scratchFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Tune tune;
    const bool loaded = loadTune(path.c_str(), tune);
    const TuneHeader& header = tune.header;
    if (header.dataSize < 0 || header.dataSize > 65535) __builtin_trap();
    if (tune.data.size() != static_cast<size_t>(header.dataSize)) __builtin_trap();
    if (loaded != (header.dataSize > 0)) __builtin_trap();
    std::ostringstream report;
    printTuneHeader(report, header);
    if (report.str().find("bytes of program data in file.\n") == std::string::npos)
        __builtin_trap();
    std::remove(path.c_str());
    return 0;
}
