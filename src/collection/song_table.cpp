#include "collection/song_table.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "collection/csv.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "platform/raw_file.h"

namespace fs = std::filesystem;

const std::vector<std::string> kSongColumns = {
    "path",         "md5",        "song",        "songs",           "clock",    "rate",
    "length",       "loop",       "found",       "calls",           "repeat_i", "repeat_j",
    "longest_call", "sid_writes", "diagnostics", "first_diagnostic"};

namespace {

// "123.456" from a number of thousandths.
std::string thousandthsText(uint64_t thousandths) {
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(thousandths / 1000), 1);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(thousandths % 1000), 3);
    return std::string(text, at);
}

}  // namespace

std::string secondsText(uint64_t cycles, uint32_t clock) {
    return thousandthsText((cycles * 1000 + clock / 2) / clock);
}

bool parseSeconds(const std::string& text, uint64_t& thousandths) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || text.size() - dot != 4) return false;
    uint64_t value = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        if (k == dot) continue;
        if (text[k] < '0' || text[k] > '9') return false;
        value = value * 10 + static_cast<uint64_t>(text[k] - '0');
    }
    thousandths = value;
    return true;
}

std::string songRow(const SongPlace& place, const SongOutcome& o) {
    std::vector<std::string> f(kSongColumns.size());
    f[kPath] = place.listPath;
    f[kMd5] = place.md5;
    f[kSong] = std::to_string(place.song);
    f[kSongs] = std::to_string(place.songs);
    f[kFound] = songFoundText(o.found);
    if (o.found == SongFound::Error) {
        f[kDiagnostics].push_back('1');  // (assigned, g++ 12 warns wrongly)
        f[kFirstDiagnostic] = o.error;
        return csvRecord(f);
    }
    f[kClock] = o.ntsc ? "NTSC" : "PAL";
    // Calls a second in thousandths, rounded.
    f[kRate] = thousandthsText((uint64_t{o.clock} * 2000 / o.callPeriod + 1) / 2);
    f[kLength] = secondsText(o.lengthCycles, o.clock);
    if (o.found == SongFound::Loop) f[kLoop] = secondsText(o.loopStartCycles, o.clock);
    f[kCalls] = std::to_string(o.calls);
    if (o.exact) {
        f[kRepeatI] = std::to_string(o.repeatI);
        f[kRepeatJ] = std::to_string(o.repeatJ);
    }
    f[kLongestCall] = std::to_string(o.longestCall);
    f[kSidWrites] = std::to_string(o.soundWrites);
    f[kDiagnostics] = std::to_string(o.diagnostics);
    f[kFirstDiagnostic] = o.firstDiagnostic;
    return csvRecord(f);
}

std::string settingsRow(const std::string& settings) {
    std::vector<std::string> f(kSongColumns.size());
    f[kPath] = kSettingsPath;
    f[kFirstDiagnostic] = settings;
    return csvRecord(f);
}

bool readSongTable(const std::string& name, TableRows& rows, std::string& settings) {
    rows.clear();
    settings.clear();
    std::vector<uint8_t> bytes;
    int error = 0;
    if (!rawReadFile(name.c_str(), bytes, error)) return true;  // a new table
    size_t complete = 0;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const auto records = csvRecords(text, complete);
    if (records.empty()) return true;
    if (records.front() != kSongColumns) {
        diagnose(name + ": not a table of songs that voxdump wrote; not resumed");
        return false;
    }
    for (size_t k = 1; k < records.size(); ++k) {
        const std::vector<std::string>& r = records[k];
        if (r.size() != kSongColumns.size()) continue;
        if (r[kPath] == kSettingsPath) {
            settings = r[kFirstDiagnostic];
            continue;
        }
        rows[{r[kPath], std::atoi(r[kSong].c_str())}] = r;
    }
    if (complete == bytes.size()) return true;
    // The whole rows go to a file beside it, which then takes its place.
    const std::string part = name + ".part";
    OutputFile rewrite;
    outputOpen(rewrite, part);
    outputBlock(rewrite, text.substr(0, complete));
    std::error_code renamed;
    if (outputClose(rewrite)) fs::rename(fs::u8path(part), fs::u8path(name), renamed);
    if (!renamed) return true;
    diagnose(name + ": cannot drop its last, incomplete row: " + renamed.message());
    return false;
}

namespace {

constexpr const char* kFoundWords[] = {"loop", "ends", "none", "error"};

}  // namespace

const char* songFoundText(SongFound found) {
    return kFoundWords[static_cast<size_t>(found)];
}

bool parseSongFound(const std::string& text, SongFound& found) {
    for (size_t k = 0; k < std::size(kFoundWords); ++k) {
        if (text == kFoundWords[k]) {
            found = static_cast<SongFound>(k);
            return true;
        }
    }
    return false;
}
