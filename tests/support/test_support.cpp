#include "support/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "cpu/cpu_state.h"

Bytes hexBytes(std::string_view text) {
    Bytes bytes;
    std::istringstream in{std::string(text)};
    std::string item;
    while (in >> item) bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    return bytes;
}

Bytes psidFile(const Psid& t) {
    Bytes f;
    auto be16 = [&](unsigned v) { f.insert(f.end(), {uint8_t(v >> 8), uint8_t(v)}); };
    auto text = [&](std::string s, size_t size) {
        s.resize(size);
        f.insert(f.end(), s.begin(), s.end());
    };
    text(t.id, 4);
    const bool longHeader = t.version >= 2 && t.version <= 4;
    // version, data offset, load, init, play, songs, start song, speed
    for (unsigned v : {unsigned{t.version}, longHeader ? 0x7Cu : 0x76u, t.embedLoad ? 0u : t.load,
                       unsigned{t.init}, unsigned{t.play}, unsigned{t.songs}, unsigned{t.startSong},
                       t.speed >> 16, t.speed & 0xFFFF})
        be16(v);
    for (const std::string* s : {&t.name, &t.author, &t.copyright}) text(*s, 32);
    if (longHeader) {
        be16(t.flags);
        be16(t.reserved >> 16);
        be16(t.reserved & 0xFFFF);
    }
    if (t.embedLoad) f.insert(f.end(), {uint8_t(t.load), uint8_t(t.load >> 8)});
    f.insert(f.end(), t.data.begin(), t.data.end());
    return f;
}

Bytes codeAt(const char* start, const char* play, size_t at) {
    Bytes code = hexBytes(start);
    code.resize(at, 0);
    const Bytes more = hexBytes(play);
    code.insert(code.end(), more.begin(), more.end());
    return code;
}

void loadCode(std::string_view hex, uint16_t at) {
    cpuReset();
    Bytes code = hexBytes(hex);
    cpuLoad(code.data(), at, static_cast<uint16_t>(code.size()));
    cpuSetPc(at);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint64_t> tableCycles(const std::string& table) {
    std::vector<uint64_t> cycles;
    std::istringstream in(table.substr(table.find("\n call cycles")));
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty() && line[0] == ' ')
        cycles.push_back(std::stoull(line.substr(6, 6)));
    return cycles;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

ScratchDir::ScratchDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    do {
        path = temp / ("voxdump-" + std::to_string(random() % 100000000));
    } while (!std::filesystem::create_directory(path));
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

RunResult collectRun(const std::filesystem::path& dir, int status) {
    RunResult result{status, readFile(dir / ".stdout"), readFile(dir / ".stderr")};
    std::filesystem::remove(dir / ".stdout");
    std::filesystem::remove(dir / ".stderr");
    return result;
}

std::filesystem::path sharedDir() {
    std::filesystem::path dir = VOXDUMP_SHARED_DIR;
    return std::filesystem::is_directory(dir / "tunes") ? dir : std::filesystem::path{};
}
