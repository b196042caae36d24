// Arbitrary bytes as options and a tune: the whole program, the start
// routine and a few play calls in both modes, in a scratch folder. The first
// byte chooses options (bit 0: start at the init address, 1: --undocumented,
// 2: --table, 3: --roll, 4: --midi, 5-7: a --song), so does the second (bits
// 0-1: the cycle budget, 2: --length, 3: the log-mode run without the init
// argument, so that it starts as a player does, 4: --machine, which runs RSID
// tunes and those without a play address in the machine environment), the
// rest is the tune file. Every run has a cycle budget, so that no input can
// hold the fuzzer for long. The output files are
// links to /dev/null so that long traces cost no disk.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.h"
#include "tune/tune.h"

namespace fs = std::filesystem;

namespace {

const fs::path& scratchDir() {
    static const fs::path dir = [] {
        fs::path made =
            fs::temp_directory_path() / ("voxdump-fuzz-run-" + std::to_string(getpid()));
        fs::create_directories(made);
        for (const char* name : {"t.log", "t.dis", "t.tab", "t.svg", "t.mid"})
            fs::create_symlink("/dev/null", made / name);
        return made;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t options = data[0];
    const uint8_t more = data[1];
    const fs::path tune = scratchDir() / "t.sid";
    std::FILE* file = std::fopen(tune.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data + 2, 1, size - 2, file);
    std::fclose(file);

    static const char* const kSongs[8] = {nullptr,    "--song=1",  "--song=2",   "--song=3",
                                          "--song=4", "--song=16", "--song=255", "--song=256"};
    static const char* const kBudgets[4] = {"--max-cycles=100000", "--max-cycles=20000",
                                            "--max-cycles=1000", "--max-cycles=1"};
    std::ostringstream console, errors;
    std::streambuf* out = std::cout.rdbuf(console.rdbuf());
    std::streambuf* err = std::cerr.rdbuf(errors.rdbuf());
    for (const char* asmFlag : {"0", "1"}) {
        std::vector<const char*> argv = {"voxdump", tune.c_str(), "3"};
        if (asmFlag[0] == '1' || !(more & 8)) {
            argv.push_back(options & 1 ? "1" : "0");
            argv.push_back(asmFlag);
        }
        if (options & 2) argv.push_back("--undocumented");
        if (options & 4) argv.push_back("--table");
        if (options & 8) argv.push_back("--roll");
        if (options & 16) argv.push_back("--midi");
        if (kSongs[options >> 5] != nullptr) argv.push_back(kSongs[options >> 5]);
        argv.push_back(kBudgets[more & 3]);
        if (more & 4) argv.push_back("--length");
        if (more & 16) argv.push_back("--machine");
        const int status = voxdumpMain(static_cast<int>(argv.size()), argv.data());
        // 2 only for a song the tune does not have, and then nothing is run;
        // 1 with nothing on the console for a tune the environment refuses
        // (RSID's BASIC flag). The run ends with "Finished!", and with
        // --length one line more.
        const std::string text = console.str();
        const size_t last = text.rfind("Finished!\n");
        const std::string after = last == std::string::npos ? "" : text.substr(last + 10);
        const size_t lineEnd = after.find('\n');
        const bool lengthLines =
            after.starts_with("Song ") &&
            (lineEnd == after.size() - 1 ||
             (after.compare(lineEnd + 1, 35, "Exact repeat: the state after call ") == 0 &&
              after.find('\n', lineEnd + 1) == after.size() - 1));
        const bool finished =
            last != std::string::npos && ((more & 4) ? lengthLines : after.empty());
        const bool refused = (status == 1 || status == 2) && text.empty();
        if (!refused && (status == 2 || (status != 0 && status != 1) || !finished))
            __builtin_trap();
        console.str("");
    }
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    return 0;
}
