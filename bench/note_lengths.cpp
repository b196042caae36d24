// The lengths of a tune's notes as the note model writes them, before they
// are held to whole rows in the files: the pitched notes (chord keys
// included) and the share of them that last at most two calls.
//
// usage: voxdump_note_lengths tune.sid [calls] [--undocumented]
// Plays the tune's start song as the study does (from the init address, or
// in the machine environment for an interrupt-driven tune), 3000 calls.
#include <cstdlib>
#include <iostream>
#include <string>

#include "play/session.h"
#include "study/notes.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: voxdump_note_lengths tune.sid [calls] [--undocumented]\n";
        return 2;
    }
    PlayPlan plan;
    plan.calls = 3000;
    for (int k = 2; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--undocumented") {
            plan.undocumented = true;
        } else {
            plan.calls = static_cast<uint32_t>(std::strtoul(argv[k], nullptr, 10));
        }
    }
    Tune tune;
    if (!loadTune(argv[1], tune)) {
        std::cerr << argv[1] << ": " << tune.problem << "\n";
        return 1;
    }
    plan.atInit = plan.setSong = plan.studying = true;
    plan.machine = tuneInterruptDriven(tune.header);
    const int start = tune.header.startSong;
    plan.song = start >= 1 && start <= 256 ? start : 1;
    plan.bump = false;
    Diagnostics diagnostics;
    Session session(std::move(tune), plan, argv[1], diagnostics);
    session.openStudy({});
    const uint32_t calls = session.play();
    NoteModel& model = session.study()->notes();
    model.finish(calls);
    size_t pitched = 0, short_ = 0;
    for (const Note& n : model.notes()) {
        if (n.kind == NoteKind::Drum) continue;
        ++pitched;
        if (n.last - n.first + 1 <= 2) ++short_;
    }
    std::cout << pitched << " " << short_ << "\n";
    return 0;
}
