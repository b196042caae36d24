// How often the lengths of a collection's table of songs (voxdump
// --collection --csv) agree with the lengths its listeners wrote down:
// within 2 and within 10 seconds, for PSID and interrupt-driven tunes, by how
// the length was found; with -v, the songs more than 10 seconds off.
//
// usage: voxdump_length_agreement lengths.tsv songs.csv [-v]
//   lengths.tsv: path, md5, kind, interrupt_driven, songs, start_song,
//   lengths (m:ss or m:ss.mmm, one per song, a mark in parentheses allowed)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "collection/csv.h"

namespace {

struct Listened {
    double seconds;
    bool interruptDriven;
};

double secondsOf(std::string text) {
    text = text.substr(0, text.find('('));
    const size_t colon = text.find(':');
    return std::atof(text.substr(0, colon).c_str()) * 60 +
           std::atof(text.substr(colon + 1).c_str());
}

struct Count {
    int songs = 0, within2 = 0, within10 = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: voxdump_length_agreement lengths.tsv songs.csv [-v]\n";
        return 2;
    }
    const bool verbose = argc > 3 && std::string(argv[3]) == "-v";
    std::map<std::pair<std::string, int>, Listened> listened;
    std::ifstream tsv(argv[1]);
    std::string line;
    std::getline(tsv, line);
    while (std::getline(tsv, line)) {
        std::vector<std::string> f;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        if (f.size() < 7) continue;
        std::istringstream lengths(f[6]);
        int song = 0;
        for (std::string length; lengths >> length;)
            listened[{"/" + f[0], ++song}] = {secondsOf(length), f[3] == "1"};
    }
    std::ifstream csv(argv[2], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(csv)), {});
    size_t complete = 0;
    const auto records = csvRecords(text, complete);
    std::map<std::string, Count> counts;
    std::vector<std::string> far;
    for (size_t k = 1; k < records.size(); ++k) {
        const std::vector<std::string>& r = records[k];
        const auto at = listened.find({r[0], std::atoi(r[2].c_str())});
        if (at == listened.end()) continue;
        const std::string kind = at->second.interruptDriven ? "interrupt-driven" : "PSID";
        const std::string how = r[8] + (r[10].empty() ? "" : ", the machine repeats");
        const double off =
            r[6].empty() ? 1e9 : std::abs(std::atof(r[6].c_str()) - at->second.seconds);
        for (const std::string& key : {kind, kind + ": " + how}) {
            Count& c = counts[key];
            ++c.songs;
            c.within2 += off <= 2 ? 1 : 0;
            c.within10 += off <= 10 ? 1 : 0;
        }
        if (off > 10 && verbose) {
            char entry[512];
            std::snprintf(entry, sizeof entry, "  %s song %s: list %.0f s, voxdump %s s (%s)",
                          r[0].c_str(), r[2].c_str(), at->second.seconds,
                          r[6].empty() ? "-" : r[6].c_str(), how.c_str());
            far.push_back(entry);
        }
    }
    for (const auto& [key, c] : counts) {
        std::printf("%-50s %4d songs, within 2 s %5.1f %%, within 10 s %5.1f %%\n", key.c_str(),
                    c.songs, 100.0 * c.within2 / c.songs, 100.0 * c.within10 / c.songs);
    }
    for (const std::string& entry : far) std::puts(entry.c_str());
    return 0;
}
