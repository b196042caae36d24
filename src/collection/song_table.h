// The collection's table of songs: its columns, a song's row, and the rows
// that a table holds already (for a run that resumes).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "collection/song_job.h"

// The header row's names, in order.
extern const std::vector<std::string> kSongColumns;

// The columns by name.
enum SongColumn : size_t {
    kPath,
    kMd5,
    kSong,
    kSongs,
    kClock,
    kRate,
    kLength,
    kLoop,
    kFound,
    kCalls,
    kRepeatI,
    kRepeatJ,
    kLongestCall,
    kSidWrites,
    kDiagnostics,
    kFirstDiagnostic,
};

struct SongPlace {
    std::string listPath, md5;
    int song, songs;
};

// The song's row (a CSV record with its line end).
std::string songRow(const SongPlace& place, const SongOutcome& outcome);

// "123.456": seconds with three decimals from cycles at a clock, and back to
// thousandths (false when the text is not such a number).
std::string secondsText(uint64_t cycles, uint32_t clock);
bool parseSeconds(const std::string& text, uint64_t& thousandths);

using TableRows = std::map<std::pair<std::string, int>, std::vector<std::string>>;

// The row after the header that says with which settings the songs were
// played: a row of every column, its path kSettingsPath and the settings in
// its last column; readers that look songs up by path pass over it.
inline constexpr const char* kSettingsPath = "#settings";
std::string settingsRow(const std::string& settings);

// The rows of the table in `name`, by path and song: none when there is no
// such file; `settings`: those of its settings row (empty when it has none).
// A last row cut off in the middle (a run stopped while it wrote, a machine
// gone down) is dropped from the file. False, after a diagnostic, when the
// file is not a table of songs or cannot be mended.
bool readSongTable(const std::string& name, TableRows& rows, std::string& settings);
