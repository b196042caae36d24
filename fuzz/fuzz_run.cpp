// Arbitrary bytes as a tune: the whole program, the start routine and a few
// play calls in both modes, in a scratch folder. The output files are links
// to /dev/null so that long traces cost no disk.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/run.h"
#include "tune/tune.h"

namespace fs = std::filesystem;

namespace {

const fs::path& scratchDir() {
    static const fs::path dir = [] {
        fs::path made =
            fs::temp_directory_path() / ("voxdump-fuzz-run-" + std::to_string(getpid()));
        fs::create_directories(made);
        fs::create_symlink("/dev/null", made / "t.log");
        fs::create_symlink("/dev/null", made / "t.dis");
        return made;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path tune = scratchDir() / "t.sid";
    std::FILE* file = std::fopen(tune.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::ostringstream console, errors;
    std::streambuf* out = std::cout.rdbuf(console.rdbuf());
    std::streambuf* err = std::cerr.rdbuf(errors.rdbuf());
    for (const char* asmFlag : {"0", "1"}) {
        tuneHeader() = TuneHeader{};
        const char* argv[] = {"voxdump", tune.c_str(), "3", size > 0 && data[0] & 1 ? "1" : "0",
                              asmFlag};
        const int status = voxdumpMain(5, argv);
        if (status != 0 && status != 1) __builtin_trap();
        if (console.str().rfind("Finished!\n") != console.str().size() - 10) __builtin_trap();
        console.str("");
    }
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    return 0;
}
