// The study of a tune: the sound chips' state after each routine call, the
// notes it makes, and the files that show them (a table, a piano roll, a
// MIDI file), from the one run.
#pragma once

#include <cstdint>
#include <string>

#include "song/call_rate.h"
#include "tune/tune.h"

// The files to write; an empty name: not that one.
struct StudyFiles {
    std::string table, roll, midi;
};

// Before the first routine call: creates the files.
void studyOpen(const TuneHeader& header, const StudyFiles& files, int song);

// Before the start routine's call ends: the most play calls the run makes,
// and whether it stops earlier where the song repeats.
// `capSeconds` not 0: the run ends after that much of the machine's time
// instead of after a number of calls.
void studySetCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds = 0);

// A store into $D400-$D7FF (a listener of the write path) `time` cycles
// into the running routine call: the envelope generators run to it.
void studyStore(uint32_t time, uint16_t address, uint8_t value);

// A routine call begins; `rate` knows when.
void studyBeginCall(const CallRate& rate);
// Routine call `call` (0: the start routine) has ended after `cycles`; its
// period is known to `rate`.
void studyEndCall(uint32_t call, uint64_t cycles, const CallRate& rate);

// After the last call: `loopCall` is the call from which the song repeats (0
// when it does not), `closing` a line to end the table with (empty: none).
// Writes what is made at the end and closes the files; false when one could
// not be written (a diagnostic has been printed).
bool studyClose(uint32_t loopCall, const std::string& closing, const CallRate& rate);
