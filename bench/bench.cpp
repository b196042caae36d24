// voxdump's benchmark. Makes its workload tunes, checks that the optimised
// build writes the same bytes as an unoptimised one, then times both modes
// against the floor (the same output lines written with one write call per
// line), measures peak memory, the watchdog's cost and, under callgrind, host
// instructions per emulated instruction.
//
// usage: voxdump_bench voxdump voxdump_nowatchdog voxdump_reference floor [shared]
//        voxdump_bench --workloads folder   (only writes the workload tunes)
//        voxdump_bench --against [--runs N] [--calls N]... [--only compute|write]
//                      older newer [more...]
//            times the compute-heavy and the write-heavy workload (log mode) of
//            each build by wall time, the builds run in turns, and prints each
//            build's best and mean and its ratio to the first (bench/against.sh
//            builds an older commit for it)
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int kCalls = 3000;
constexpr int kRuns = 5;

std::string voxdump, voxdumpNoWatchdog, reference, floorProgram;
fs::path work;

// A PSID version 2 file: load and init at $1000, the given play address.
Bytes psid(uint16_t play, const Bytes& data, const char* name) {
    Bytes f = {'P',
               'S',
               'I',
               'D',
               0,
               2,
               0,
               0x7C,
               0x10,
               0x00,
               0x10,
               0x00,
               static_cast<uint8_t>(play >> 8),
               static_cast<uint8_t>(play),
               0,
               1,
               0,
               1,
               0,
               0,
               0,
               0};
    for (const char* text : {name, "voxdump benchmark", "2026"}) {
        std::string s(text);
        s.resize(32, '\0');
        f.insert(f.end(), s.begin(), s.end());
    }
    f.insert(f.end(), 6, 0);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

void place(Bytes& memory, uint16_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), memory.begin() + (at - 0x1000));
}

// About 21,800 instructions per play call and four register writes: a call
// counter, a subroutine called 1280 times with absolute,Y, (zp),Y, zero page,X and
// absolute,X operands, decimal ADC and SBC, shifts and read-modify-write.
Bytes computeTune() {
    Bytes m(0x300);
    for (size_t k = 0x100; k < 0x300; ++k) m[k] = static_cast<uint8_t>(k * 7 + 3);
    // init: pointer $FC/$FD -> $1200, $FE = $37
    place(m, 0x1000,
          {0xA9, 0x00, 0x85, 0xFC, 0xA9, 0x12, 0x85, 0xFD, 0xA9, 0x37, 0x85, 0xFE, 0x60});
    // play: a 16-bit count of the calls in $F8/$F9 (so that no two calls
    // leave the same state), five times 256 calls of the subroutine, then
    // the writes
    place(m, 0x1010,
          {0xE6, 0xF8, 0xD0, 0x02, 0xE6, 0xF9, 0xA2, 0x05, 0xA0, 0x00, 0x20, 0x40, 0x10, 0x88,
           0xD0, 0xFA, 0xCA, 0xD0, 0xF5, 0xAD, 0x00, 0x13, 0x8D, 0x00, 0xD4, 0xAD, 0x01, 0x13,
           0x8D, 0x01, 0xD4, 0xA5, 0xFF, 0x8D, 0x04, 0xD4, 0x8E, 0x18, 0xD4, 0x60});
    // LDA $1100,Y; CLC; ADC ($FC),Y; STA $1300,Y; SED; ADC #1; SBC $FE; CLD;
    // EOR $10,X; AND #$7F; ROL A; LSR $FF; INC $1400,X; RTS
    place(m, 0x1040,
          {0xB9, 0x00, 0x11, 0x18, 0x71, 0xFC, 0x99, 0x00, 0x13, 0xF8, 0x69, 0x01, 0xE5,
           0xFE, 0xD8, 0x55, 0x10, 0x29, 0x7F, 0x2A, 0x46, 0xFF, 0xFE, 0x00, 0x14, 0x60});
    return psid(0x1010, m, "compute-heavy");
}

// 300 register writes per play call: twelve passes over $D418 ... $D400.
Bytes writeTune() {
    Bytes m(0x20);
    place(m, 0x1000, {0x60});
    place(m, 0x1003,
          {0xA0, 0x0C, 0xA2, 0x18, 0x8A, 0x45, 0xFB, 0x9D, 0x00, 0xD4, 0xCA, 0x10, 0xF7, 0xE6, 0xFB,
           0x88, 0xD0, 0xF0, 0x60});
    return psid(0x1003, m, "write-heavy");
}

struct Measure {
    double seconds;
    long maxRssKiB;
    double cpuSeconds;  // user and system
};

// Runs a program in the work folder, its standard output and error to files.
Measure run(const std::vector<std::string>& argv, const char* errFile = "bench.err") {
    std::cout.flush();
    std::fflush(nullptr);  // nothing buffered may be copied into the child
    const auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (chdir(work.c_str()) != 0) _exit(126);
        if (!std::freopen("bench.out", "w", stdout) || !std::freopen(errFile, "w", stderr))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "voxdump_bench: " << argv[0] << " failed\n";
        std::exit(1);
    }
    const auto toSeconds = [](timeval t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds, usage.ru_maxrss, toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime)};
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t countLines(const fs::path& path) {
    const std::string text = readFile(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Workload {
    std::string name;
    std::string tune;  // file name in the work folder
    bool disassemble;
    int calls;
    std::vector<std::string> options = {};
};

const std::vector<std::string> kStudy = {"--table", "--roll", "--midi"};

std::vector<std::string> args(const std::string& binary, const Workload& w) {
    std::vector<std::string> a = {binary, w.tune, std::to_string(w.calls), "0",
                                  w.disassemble ? "1" : "0"};
    a.insert(a.end(), w.options.begin(), w.options.end());
    return a;
}

fs::path outputOf(const Workload& w) {
    return work / (w.tune.substr(0, w.tune.size() - 3) + (w.disassemble ? "dis" : "log"));
}

// The optimised build must write exactly what the unoptimised one writes.
bool sameOutput(const Workload& w) {
    const std::string stem = (work / w.tune.substr(0, w.tune.size() - 3)).string();
    std::vector<fs::path> files = {outputOf(w)};
    const char* const extensions[3] = {"tab", "svg", "mid"};  // of the kStudy options
    for (size_t k = 0; k < 3; ++k) {
        if (std::find(w.options.begin(), w.options.end(), kStudy[k]) != w.options.end())
            files.push_back(stem + extensions[k]);
    }
    run(args(reference, w));
    std::vector<std::string> expected;
    for (const fs::path& file : files) expected.push_back(readFile(file));
    run(args(voxdump, w));
    for (size_t k = 0; k < files.size(); ++k) {
        if (readFile(files[k]) != expected[k]) return false;
    }
    return true;
}

struct Timing {
    double seconds;     // median over the runs
    double floorRatio;  // median of voxdump's time over the floor's, run by run
    long maxRssKiB;
    size_t lines;
};

Timing timeWorkload(const Workload& w, const std::string& binary = voxdump) {
    std::vector<double> seconds, ratios;
    long rss = 0;
    for (int k = 0; k < kRuns; ++k) {
        Measure m = run(args(binary, w));
        Measure f = run({floorProgram, outputOf(w).string(), (work / "floor.out").string()});
        seconds.push_back(m.seconds);
        ratios.push_back(m.seconds / f.seconds);
        rss = std::max(rss, m.maxRssKiB);
    }
    return {median(seconds), median(ratios), rss, countLines(outputOf(w))};
}

// Instructions executed per play call, from a traced run: the lines of the
// "#1:" block, less the $00 that ends the call.
size_t instructionsPerCall(const std::string& tune) {
    run({voxdump, tune, "1", "0", "1"});
    const std::string text = readFile(work / (tune.substr(0, tune.size() - 3) + "dis"));
    const std::string block = text.substr(text.find("\n#1:\n") + 5);
    return static_cast<size_t>(std::count(block.begin(), block.end(), ';')) - 1;
}

// Host instructions counted by callgrind for a run of `calls` play calls.
double callgrindInstructions(const std::string& binary, const std::string& tune, int calls,
                             const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {
        "/usr/bin/valgrind",  "--tool=callgrind", "--callgrind-out-file=/dev/null", binary, tune,
        std::to_string(calls)};
    argv.insert(argv.end(), more.begin(), more.end());
    run(argv, "callgrind.err");
    const std::string text = readFile(work / "callgrind.err");
    const size_t at = text.find("Collected : ");
    return at == std::string::npos ? 0 : std::stod(text.substr(at + 12));
}

std::string machine() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown processor";
}

// Drops the file's pages from the page cache and reads it back, so that the
// next run of the program maps pages that the kernel has just chosen. On the
// project's machine (a virtual machine) the same binary ran its compute-heavy
// workload 1.45 to 1.75 times slower for as long as its file stayed in one
// set of page-cache pages, and at the usual speed again once they were
// dropped: a comparison of two builds must not hang on where each file
// happens to be cached.
void recache(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fsync(fd);  // dirty pages would stay
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    char buffer[1 << 16];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
}

// The builds run in turns, round after round, each round starting one build
// later than the one before, so that no build always runs right after the
// same other one, each run from freshly cached pages. Round 0 is a warm-up
// (the outputs are compared there), not counted.
int against(const std::vector<std::string>& builds, const std::vector<int>& callCounts, int runs,
            const std::string& only) {
    std::cout << "wall time on " << machine() << ", " << sysconf(_SC_NPROCESSORS_ONLN)
              << " cores; builds run in turns, best and mean of " << runs
              << " runs; ratios to the first build (CPU: best user + system time)\n";
    for (size_t k = 0; k < builds.size(); ++k)
        std::cout << "  build " << k << ": " << builds[k] << "\n";
    bool same = true;
    for (const int calls : callCounts) {
        for (const Workload& w : {Workload{"compute-heavy", "compute.sid", false, calls},
                                  Workload{"write-heavy", "write.sid", false, calls}}) {
            if (!only.empty() && w.name.rfind(only, 0) != 0) continue;
            std::vector<std::vector<double>> seconds(builds.size()), cpuSeconds(builds.size());
            std::string first;
            for (int round = 0; round <= runs; ++round) {
                for (size_t j = 0; j < builds.size(); ++j) {
                    const size_t b = (j + static_cast<size_t>(round)) % builds.size();
                    recache(builds[b]);
                    const Measure m = run(args(builds[b], w));
                    if (round == 0) {  // the warm-up: the outputs must be the same bytes
                        const std::string output = readFile(outputOf(w));
                        if (first.empty()) first = output;
                        same = same && output == first;
                    } else {
                        seconds[b].push_back(m.seconds);
                        cpuSeconds[b].push_back(m.cpuSeconds);
                    }
                }
            }
            std::printf("\n%s, %d calls, log mode\n%-6s %8s %8s %11s %11s %11s\n", w.name.c_str(),
                        calls, "build", "best s", "mean s", "best ratio", "mean ratio",
                        "CPU ratio");
            const auto best = [](const std::vector<double>& v) {
                return *std::min_element(v.begin(), v.end());
            };
            const auto mean = [](const std::vector<double>& v) {
                double sum = 0;
                for (double x : v) sum += x;
                return sum / static_cast<double>(v.size());
            };
            for (size_t b = 0; b < builds.size(); ++b) {
                std::printf("%-6zu %8.3f %8.3f %10.3fx %10.3fx %10.3fx\n", b, best(seconds[b]),
                            mean(seconds[b]), best(seconds[b]) / best(seconds[0]),
                            mean(seconds[b]) / mean(seconds[0]),
                            best(cpuSeconds[b]) / best(cpuSeconds[0]));
            }
        }
    }
    std::cout << "\noutputs of the builds: " << (same ? "identical" : "DIFFERENT") << "\n";
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--workloads") {
        for (auto [name, bytes] :
             {std::pair{"compute.sid", computeTune()}, {"write.sid", writeTune()}}) {
            std::ofstream(fs::path(argv[2]) / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<long>(bytes.size()));
        }
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "--against") {
        std::vector<std::string> builds;
        std::vector<int> callCounts;
        int runs = kRuns;
        std::string only;
        for (int k = 2; k < argc; ++k) {
            const std::string arg = argv[k];
            if (arg == "--only" && k + 1 < argc) {
                only = argv[++k];
            } else if ((arg == "--runs" || arg == "--calls") && k + 1 < argc) {
                const int value = std::max(1, std::atoi(argv[++k]));
                if (arg == "--runs") {
                    runs = value;
                } else {
                    callCounts.push_back(value);
                }
            } else {
                builds.push_back(fs::absolute(arg).string());
            }
        }
        if (builds.size() < 2) {
            std::cerr << "usage: voxdump_bench --against [--runs N] [--calls N]... "
                         "[--only compute|write] older newer [more...]\n";
            return 2;
        }
        if (callCounts.empty()) callCounts = {kCalls, 10 * kCalls};
        std::string pattern = (fs::temp_directory_path() / "voxdump-bench-XXXXXX").string();
        work = mkdtemp(pattern.data());
        for (auto [name, bytes] :
             {std::pair{"compute.sid", computeTune()}, {"write.sid", writeTune()}}) {
            std::ofstream(work / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<long>(bytes.size()));
        }
        const int status = against(builds, callCounts, runs, only);
        fs::remove_all(work);
        return status;
    }
    if (argc < 5) {
        std::cerr << "usage: voxdump_bench voxdump voxdump_nowatchdog voxdump_reference floor "
                     "[shared]\n";
        return 2;
    }
    // A forked child starts with the parent's resident pages, and its peak
    // counts them: keep the benchmark's own heap small between runs.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024);
    voxdump = fs::absolute(argv[1]);
    voxdumpNoWatchdog = fs::absolute(argv[2]);
    reference = fs::absolute(argv[3]);
    floorProgram = fs::absolute(argv[4]);
    std::string pattern = (fs::temp_directory_path() / "voxdump-bench-XXXXXX").string();
    work = mkdtemp(pattern.data());

    for (auto [name, bytes] :
         {std::pair{"compute.sid", computeTune()}, {"write.sid", writeTune()}}) {
        std::ofstream(work / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    std::vector<Workload> realTunes;
    if (argc > 5 && fs::is_directory(fs::path(argv[5]) / "tunes")) {
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(argv[5]) / "tunes")) {
            if (entry.path().extension() != ".sid") continue;
            const std::string name = "real" + std::to_string(realTunes.size()) + ".sid";
            fs::copy_file(entry.path(), work / name);
            realTunes.push_back({entry.path().filename().string(), name, false, kCalls});
        }
    }

    const Workload compute{"compute-heavy, log mode", "compute.sid", false, kCalls};
    const Workload writes{"write-heavy, log mode", "write.sid", false, kCalls};
    const Workload traced{"write-heavy, disassembly mode", "write.sid", true, kCalls};

    std::cout << "voxdump benchmark on " << machine() << ", " << sysconf(_SC_NPROCESSORS_ONLN)
              << " cores; " << kCalls << " play calls, median of " << kRuns << " runs\n\n";

    bool same = sameOutput(compute) && sameOutput(writes) &&
                sameOutput({"", "write.sid", true, 300}) &&
                sameOutput({"", "compute.sid", true, 2});
    for (const Workload& w : realTunes) {
        same = same && sameOutput(w) && sameOutput({"", w.tune, true, 50}) &&
               sameOutput({"", w.tune, false, kCalls, {"--undocumented"}}) &&
               sameOutput({"", w.tune, true, 50, {"--undocumented"}}) &&
               sameOutput({"", w.tune, false, kCalls, kStudy}) &&
               sameOutput({"", w.tune, false, kCalls, {"--length", "--table", "--midi"}});
    }
    std::cout << "outputs of the optimised and the unoptimised build: "
              << (same ? "identical" : "DIFFERENT") << "\n\n";

    const size_t perCall = instructionsPerCall("compute.sid");
    const double emulated = static_cast<double>(perCall) * kCalls;
    const Timing c = timeWorkload(compute);
    const Timing cOff = timeWorkload(compute, voxdumpNoWatchdog);
    const Timing wl = timeWorkload(writes);
    const Timing wd = timeWorkload(traced);

    std::printf("%-34s %10s %14s %12s %10s\n", "workload", "seconds", "per second", "vs floor",
                "peak RSS");
    std::printf("%-34s %10.3f %10.1f M instr %11.2fx %7ld KiB\n", compute.name.c_str(), c.seconds,
                emulated / c.seconds / 1e6, c.floorRatio, c.maxRssKiB);
    std::printf("%-34s %10.3f %10.1f M instr %11.2fx %7ld KiB\n",
                "  the same, watchdog compiled out", cOff.seconds, emulated / cOff.seconds / 1e6,
                cOff.floorRatio, cOff.maxRssKiB);
    for (const auto* t : {&wl, &wd}) {
        std::printf("%-34s %10.3f %10.2f M lines %11.2fx %7ld KiB\n",
                    (t == &wl ? writes : traced).name.c_str(), t->seconds,
                    static_cast<double>(t->lines) / t->seconds / 1e6, t->floorRatio, t->maxRssKiB);
    }
    if (!realTunes.empty()) {
        std::vector<double> logRatios, disRatios;
        double logLines = 0, logSeconds = 0;
        long rss = 0;
        for (const Workload& w : realTunes) {
            const Timing t = timeWorkload(w);
            logRatios.push_back(t.floorRatio);
            logLines += static_cast<double>(t.lines);
            logSeconds += t.seconds;
            rss = std::max(rss, t.maxRssKiB);
            const Timing d = timeWorkload({w.name, w.tune, true, 300});
            disRatios.push_back(d.floorRatio);
            rss = std::max(rss, d.maxRssKiB);
        }
        std::printf("%-34s %10.3f %10.2f M lines %11.2fx %7ld KiB\n",
                    ("real tunes (" + std::to_string(realTunes.size()) + "), log mode").c_str(),
                    logSeconds, logLines / logSeconds / 1e6, median(logRatios), rss);
        std::printf("%-34s %10s %16s %11.2fx\n", "real tunes, disassembly mode (300)", "", "",
                    median(disRatios));
    }

    // The undocumented opcodes' loop on documented code.
    const Timing u = timeWorkload({"", "compute.sid", false, kCalls, {"--undocumented"}});
    std::printf("%-34s %10.3f %10.1f M instr %11.2fx %7ld KiB\n", "  the same, --undocumented",
                u.seconds, emulated / u.seconds / 1e6, u.floorRatio, u.maxRssKiB);

    // The study's cost: runs with and without --table --roll --midi in turns,
    // the ratio taken pair by pair; the real tunes when they are here.
    std::vector<Workload> studied = realTunes;
    if (studied.empty()) studied.push_back(writes);
    std::vector<double> studyRatios, perTune;
    long studyRss = 0;
    for (const Workload& w : studied) {
        Workload with = w;
        with.options = kStudy;
        std::vector<double> pairs;
        for (int k = 0; k < 3; ++k) {
            const double without = run(args(voxdump, w)).seconds;
            const Measure m = run(args(voxdump, with));
            pairs.push_back(m.seconds / without);
            studyRss = std::max(studyRss, m.maxRssKiB);
        }
        studyRatios.insert(studyRatios.end(), pairs.begin(), pairs.end());
        perTune.push_back(median(pairs));
    }
    std::printf(
        "\n--table --roll --midi, %zu tunes of %d calls, log mode: %.3fx the run without "
        "them (median of %zu paired runs; per tune %.3fx to %.3fx), peak RSS %ld KiB\n",
        studied.size(), kCalls, median(studyRatios), studyRatios.size(),
        *std::min_element(perTune.begin(), perTune.end()),
        *std::max_element(perTune.begin(), perTune.end()), studyRss);
    // The same in host instructions, which do not vary from run to run (the
    // system calls' time is not in them).
    std::vector<double> studyInstructions;
    for (const Workload& w : studied) {
        const double without = callgrindInstructions(voxdump, w.tune, kCalls, {"0", "0"});
        studyInstructions.push_back(
            callgrindInstructions(voxdump, w.tune, kCalls,
                                  {"0", "0", "--table", "--roll", "--midi"}) /
            without);
    }
    std::printf(
        "--table --roll --midi in host instructions (callgrind): %.3fx (median; per tune %.3fx to "
        "%.3fx)\n",
        median(studyInstructions),
        *std::min_element(studyInstructions.begin(), studyInstructions.end()),
        *std::max_element(studyInstructions.begin(), studyInstructions.end()));

    // The watchdog's cost: the two builds run in turns, ratio taken pair by pair.
    std::vector<double> pairs;
    for (int k = 0; k < 3 * kRuns; ++k) {
        const double with = run(args(voxdump, compute)).seconds;
        pairs.push_back(with / run(args(voxdumpNoWatchdog, compute)).seconds);
    }
    std::printf("\nwatchdog cost by time (compute-heavy, median of %d paired runs): %+.1f %%\n",
                3 * kRuns, (median(pairs) - 1) * 100);
    // --length: the fingerprint after every call. The compute-heavy tune
    // counts its calls, so that no state repeats and all 3000 calls run.
    Workload length = compute;
    length.options = {"--length"};
    std::vector<double> lengthPairs;
    for (int k = 0; k < 3 * kRuns; ++k) {
        const double with = run(args(voxdump, length)).seconds;
        lengthPairs.push_back(with / run(args(voxdump, compute)).seconds);
    }
    const double lengthOn = callgrindInstructions(voxdump, "compute.sid", 40, {"--length"}) -
                            callgrindInstructions(voxdump, "compute.sid", 20, {"--length"});
    const double on = callgrindInstructions(voxdump, "compute.sid", 40) -
                      callgrindInstructions(voxdump, "compute.sid", 20);
    const double off = callgrindInstructions(voxdumpNoWatchdog, "compute.sid", 40) -
                       callgrindInstructions(voxdumpNoWatchdog, "compute.sid", 20);
    const double undocumented =
        callgrindInstructions(voxdump, "compute.sid", 40, {"--undocumented"}) -
        callgrindInstructions(voxdump, "compute.sid", 20, {"--undocumented"});
    const double perInstruction = on / (20.0 * static_cast<double>(perCall));
    std::printf(
        "callgrind, compute-heavy: %.1f host instructions per emulated instruction "
        "(%zu emulated per call); watchdog compiled out: %.1f (%+.1f %%)\n",
        perInstruction, perCall, off / (20.0 * static_cast<double>(perCall)), (on / off - 1) * 100);
    std::printf(
        "callgrind, compute-heavy with --undocumented: %.1f host instructions per emulated "
        "instruction (%+.1f %%)\n",
        undocumented / (20.0 * static_cast<double>(perCall)), (undocumented / on - 1) * 100);
    std::printf(
        "--length, compute-heavy: %.3fx the run without it by time (median of %d paired runs), "
        "%+.2f %% host instructions (callgrind)\n",
        median(lengthPairs), 3 * kRuns, (lengthOn / on - 1) * 100);
    fs::remove_all(work);
    return same ? 0 : 1;
}
