// One song of a collection, played on the calling thread as a player plays
// it, for as long as its length needs, with nothing written but the study's
// files when they are asked for.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct SongJob {
    std::string tuneName;               // for diagnostics
    const std::vector<uint8_t>* bytes;  // the whole file
    int song;                           // 1 to 256
    bool undocumented;
    uint32_t maxCycles;  // 0: none
    uint32_t calls;      // the most play calls; 0: 30 minutes of the song
    // The study's files to write; empty: none.
    std::string table, roll, midi;
    bool wholeRun = false;  // the files hold every call played, not the song alone
};

// How a song's length was found: its music loops, it ends, neither within
// the calls played, or the song could not be played.
enum class SongFound : uint8_t { Loop, Ends, None, Error };

// "loop", "ends", "none", "error": the table's words.
const char* songFoundText(SongFound found);
// The word back; false when it is none of them.
bool parseSongFound(const std::string& text, SongFound& found);

struct SongOutcome {
    SongFound found = SongFound::None;
    std::string error;  // why, for an error
    bool ntsc = false;
    uint32_t clock = 0;
    // Cycles a call: the first call's; in the machine environment, where
    // calls vary, the mean of the play calls (the start routine, which may
    // last 50 frames, left out).
    uint32_t callPeriod = 0;
    uint64_t lengthCycles = 0, loopStartCycles = 0;
    uint32_t calls = 0;  // play calls run
    bool exact = false;
    uint32_t repeatI = 0, repeatJ = 0;
    uint64_t longestCall = 0;
    uint64_t soundWrites = 0;
    uint32_t diagnostics = 0;
    std::string firstDiagnostic;
    bool filesWritten = true;
};

// Plays the song; stops early (the outcome then does not count) when `stop`
// becomes true.
SongOutcome playSongJob(const SongJob& job, const std::atomic<bool>& stop);
