// Playing a song of the tune in memory, call by call, as the run's plan
// says: where the start routine begins and what A holds, then after each
// routine call the call rate, the study and the song's length take their
// look. The command line's run and the collection's run share it.
#pragma once

#include <cstdint>
#include <string>

#include "machine/machine.h"
#include "song/call_rate.h"
#include "song/song_length.h"
#include "tune/tune.h"

// How long a song is played at most without a number of calls, in seconds.
inline constexpr uint32_t kPlaySeconds = 30 * 60;

struct PlayPlan {
    bool atInit;    // start at the init address
    int song;       // 1 to 256
    bool setSong;   // the first routine begins with A = song - 1
    bool studying;  // the study follows the sound chip
    bool length;    // find how long the song lasts; the run stops once it is known
    // The most play calls; with callsAfterStart, known once the start routine
    // has set the call rate: as many as fit in kPlaySeconds.
    uint32_t calls;
    bool callsAfterStart;
    bool machine;     // the tune runs in the machine environment (machine/)
    uint32_t budget;  // --max-cycles, 0 when not given
    // Set by playStart: in the environment, without a calls argument, the
    // run goes on for kPlaySeconds of the machine's time (the interrupts'
    // rate may change); 0 otherwise.
    uint64_t capCycles;
};

// The tune played (loaded into it before the start) and its call rate.
Tune& playTune();
const CallRate& playCallRate();

// The diagnostic for such a tune, without "voxdump: " and the file's name.
inline constexpr const char* kNeedsBasic =
    "the tune runs in the BASIC interpreter (RSID BASIC flag), which the machine environment "
    "does not have";

// Places the loaded tune's program data in memory; data that would run past
// $FFFF is cut there, with a diagnostic naming `tuneName`.
void playPlaceProgramData(const std::string& tuneName);

// Before the start routine, with the tune in memory: pc, A, the watchdog, or
// the machine; the call rate and the song's length. Stores into the sound
// chip go to the write path's listeners (for the machine, the ones added
// after this).
void playStart(const PlayPlan& plan);

const PlayPlan& playPlan();

// A play call begins: pc to the play address (the machine goes on).
void playBeginCall();

// True when another play call is to run after `calls` play calls.
bool playMoreCalls(uint32_t calls);

// Runs routine call `call` (0 being the start routine) to its end, then
// takes the look after it. True when the run is to stop there: the song's
// length is known.
bool playRoutine(uint32_t call);

// The look after routine call `call`, run some other way (traced), which took
// `cycles`.
bool playEndCall(uint32_t call, uint64_t cycles);

// In the machine environment: runs its next call, traced when `trace` is
// given, then takes the look.
bool playMachineCall(uint32_t call, const MachineTrace* trace);

// Says why routine call `call` ended early, given cpuRun's result, if it did.
void playReportStop(int result, uint32_t call);

// How long the song lasts as a listener hears it, after the run: from the
// notes, and the machine's repeat if any.
HeardLength playHeardLength();

// The most cycles a routine call took so far, the start routine included.
uint64_t playLongestCall();
