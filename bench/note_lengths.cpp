// The lengths of a tune's notes as the note model writes them, before they
// are held to whole rows in the files: the pitched notes (chord keys
// included) and the share of them that last at most two calls.
//
// usage: voxdump_note_lengths tune.sid [voxdump arguments after the tune]
// Runs voxdump on the tune with --midi (the files go beside the tune).
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.h"
#include "study/notes.h"
#include "study/study_legacy.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: voxdump_note_lengths tune.sid [arguments]\n";
        return 2;
    }
    std::vector<const char*> args = {"voxdump", argv[1]};
    for (int k = 2; k < argc; ++k) args.push_back(argv[k]);
    args.push_back("--midi");
    std::ostringstream quiet;  // voxdump's console lines
    std::streambuf* console = std::cout.rdbuf(quiet.rdbuf());
    const int status = voxdumpMain(static_cast<int>(args.size()), args.data());
    std::cout.rdbuf(console);
    size_t pitched = 0, short_ = 0;
    for (const Note& n : notes()) {
        if (n.kind == NoteKind::Drum) continue;
        ++pitched;
        if (n.last - n.first + 1 <= 2) ++short_;
    }
    std::cout << pitched << " " << short_ << "\n";
    return status;
}
