// voxdump --collection: every song of every tune under the paths given,
// each played as a player plays it for as long as its length needs, on
// several threads; a list of the songs' lengths in the format collection
// players read, and a table of songs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CollectionSettings {
    std::vector<std::string> paths;  // tune files or folders
    std::string songLengthsFile;     // --songlengths FILE
    std::string csvFile;             // --csv FILE
    std::string outDir;              // --out DIR: the study's files of each song
    uint32_t jobs = 0;               // --jobs N, -j N: threads; 0: one per core
    bool resume = false;             // --resume: skip the songs the --csv file holds
    uint32_t calls = 0;              // --calls N: the most play calls a song; 0: 30 minutes
    uint32_t shard = 0, shards = 0;  // --shard K/N: every N-th tune from the K-th; 0 0: all
    int song = 0;                    // --song N: only song N of each tune; 0: all
    bool undocumented = false;       // --undocumented
    uint32_t maxCycles = 0;          // --max-cycles N; 0: none
    bool table = false, roll = false, midi = false;  // the study's files, in outDir
    bool wholeRun = false;  // --whole-run: the files hold every call played
};

// Runs the collection; the exit status.
int runCollection(const CollectionSettings& settings);
