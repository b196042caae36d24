// Helpers shared by the tests: bytes from hex text, PSID files, a scratch
// folder, and runs of the real voxdump binary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "a9 0f 8d 18 d4" -> bytes.
Bytes hexBytes(std::string_view text);

struct Psid {
    std::string id = "PSID";
    uint16_t version = 2;
    uint16_t load = 0x1000;
    uint16_t init = 0x1000;
    uint16_t play = 0x1003;
    uint16_t songs = 1;
    uint16_t startSong = 1;
    uint32_t speed = 0;
    uint16_t flags = 0;      // versions 2 to 4
    uint32_t reserved = 0;   // versions 2 to 4: bytes $78-$7B (a second and third chip's address)
    bool embedLoad = false;  // load address 0 in the header, the address before the data
    std::string name = "Test", author = "Tester", copyright = "2026";
    Bytes data;
};

Bytes psidFile(const Psid& tune);

// The code of a start routine at $1000 and a play routine at $1000 + `at`.
Bytes codeAt(const char* start, const char* play, size_t at);

// Resets the CPU and places code at `at`, where execution will start.
void loadCode(std::string_view hex, uint16_t at = 0x1000);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// The cycles column of a `.tab` file's call lines.
std::vector<uint64_t> tableCycles(const std::string& table);

// A fresh folder under the system's temporary folder, removed afterwards.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::filesystem::path path;
};

struct RunResult {
    int status;
    std::string out, err;
};

// Runs the voxdump binary inside `dir` with the given arguments, standard
// input empty, standard output and error captured.
RunResult runVoxdump(const std::filesystem::path& dir, const std::vector<std::string>& args);

// The result of a run whose standard output and error went to ".stdout" and
// ".stderr" in `dir` (removed afterwards).
RunResult collectRun(const std::filesystem::path& dir, int status);

// True where symbolic links and /dev/full can be made use of (not on Windows).
bool haveUnixFiles();

// The shared folder of real tunes and CPU cases, or empty when absent.
std::filesystem::path sharedDir();
