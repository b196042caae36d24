// The study of a tune: the sound chips' state after each routine call, the
// notes it makes, and the files that show them (a table, a piano roll, a
// MIDI file), from the one run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/diagnostics.h"
#include "output/output_file.h"
#include "song/call_rate.h"
#include "study/chip.h"
#include "study/digi.h"
#include "study/envelope.h"
#include "study/notes.h"
#include "study/study_info.h"
#include "study/table.h"
#include "tune/tune.h"

// The files to write; an empty name: not that one.
struct StudyFiles {
    std::string table, roll, midi;
};

// Where the song lies in the run, once its length is known.
struct SongSpan {
    uint32_t loopCall = 0;  // the call from which the song repeats; 0 when it does not
    uint32_t endCall = 0;   // the song's last call (an intro and one pass); 0: not known
    bool wholeRun = false;  // the files hold every call run, not the song alone
};

// The study of one run of a song.
class Study {
public:
    // Before the first routine call: creates the files (none when all names
    // are empty); their failures are said to `diagnostics` (null: standard
    // error).
    Study(const TuneHeader& header, const StudyFiles& files, int song,
          Diagnostics* diagnostics = nullptr);

    // Before the start routine's call ends: the most play calls the run makes,
    // and whether it stops earlier where the song repeats.
    // `capSeconds` not 0: the run ends after that much of the machine's time
    // instead of after a number of calls.
    void setCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds = 0);

    // A store into $D400-$D7FF (a listener of the write path) `time` cycles
    // into the running routine call: the envelope generators run to it.
    void store(uint32_t time, uint16_t address, uint8_t value);

    // A routine call begins; `rate` knows when (call 0 begins at 0).
    void beginCall(const CallRate& rate);
    // Routine call `call` (0: the start routine) has ended after `cycles`; its
    // period is known to `rate`.
    void endCall(uint32_t call, uint64_t cycles, const CallRate& rate);

    // After the last call: `span` is where the song lies (the files hold the
    // song alone when its end is known, unless the whole run is wanted; its
    // loop and end are marked), `closing` a line to end the table with (empty:
    // none). Writes what is made at the end and gives the files their names;
    // false when one could not be written (a diagnostic has been printed).
    bool close(const SongSpan& span, const std::string& closing, const CallRate& rate);

    // A run that was stopped: the files are not completed, and removed.
    void discard();

    // Only the song's length is wanted (no files): the notes and the samples
    // keep at most `most` entries a voice (thinning.h). Before the first call.
    void bound(uint32_t most) {
        notes_.bound(most);
        digi_.bound(most);
    }

    // What the song's length needs: the notes (finish(lastCall) makes the
    // notes of the calls so far).
    NoteModel& notes() { return notes_; }
    // Per call (per entry when bounded), 1 where samples were played (digi.h).
    const std::vector<uint8_t>& digiCalls() const { return digi_.calls(); }

private:
    StudyFiles files_;
    StudyInfo info_{};
    Chips chips_;
    Envelopes envelopes_;
    Digi digi_;
    NoteModel notes_;
    std::optional<TableWriter> table_;
    OutputFile roll_, midi_;  // made whole when the run is over
    uint32_t lastCall_ = 0;
    uint32_t runningCall_ = 0;  // the routine call the stores come from
    uint64_t callBegins_ = 0;   // its start, in cycles from the run's
};
