// One song played from start to end, as the run's plan says: where the start
// routine begins and what A holds (or the machine environment for a tune
// that installs its own interrupt handler), then play call after play call
// until the plan's number of calls, its time, or the song's length is known.
// After each routine call the call rate, the study and the length search
// take their look, in that order.
//
// A session owns everything the song has: the tune, the plan, the write path
// of the sound chip's stores, the call rate, the study and its files, the
// length search. The command line's two modes and a collection's song play
// through it, each adding what only it does through hooks (the .log's marker
// lines, the .dis trace). The processor and the machine environment are the
// thread's: one session plays on a thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "length/heard.h"
#include "machine/sid_voices.h"
#include "output/diagnostics.h"
#include "sidlog/mem_write.h"
#include "song/call_rate.h"
#include "study/study.h"
#include "tune/tune.h"

// Why an RSID tune whose BASIC flag is set is not played, without "voxdump: "
// and the file's name: it runs in the BASIC interpreter.
inline constexpr const char* kNeedsBasic =
    "the tune runs in the BASIC interpreter (RSID BASIC flag), which the machine environment "
    "does not have";

// How long a song is played at most without a number of calls, in seconds.
inline constexpr uint32_t kPlaySeconds = 30 * 60;

// A run that finds a song's length and writes no study files keeps at most
// this many entries of the notes' per-call lists (thinning.h), and at most
// this many periods of a measured call rate: a song's memory is bounded
// whatever its calls (2^18 entries are 87 minutes at 50 calls a second).
inline constexpr uint32_t kMostEntries = 1u << 18;
inline constexpr uint32_t kMostPeriods = 1u << 16;

struct PlayPlan {
    bool atInit = false;    // start at the init address
    int song = 1;           // 1 to 256
    bool setSong = false;   // the first routine begins with A = song - 1
    bool studying = false;  // the study follows the sound chip
    bool length = false;    // find how long the song lasts; the run stops once it is known
    // The most play calls; with callsAfterStart, known once the start routine
    // has set the call rate: as many as fit in kPlaySeconds.
    uint32_t calls = 0;
    bool callsAfterStart = false;
    bool machine = false;       // the tune runs in the machine environment (machine/)
    uint32_t budget = 0;        // --max-cycles, 0 when not given
    bool undocumented = false;  // the undocumented opcodes are executed
    bool bump = true;           // stores to $5094 print "BUMP"
    // A flat tune's routines are called as a player calls them: each returns
    // to a $00 of voxdump's, which ends the call, instead of running on at
    // $0001 from the empty stack.
    bool playerReturns = false;
};

// What a caller adds to the play; every member may be left empty.
struct SessionHooks {
    void* context = nullptr;
    // After the start routine (call 0).
    void (*afterStart)(void* context) = nullptr;
    // Before play call `call` (1, 2, ...) runs.
    void (*beforeCall)(void* context, uint32_t call) = nullptr;
    // Set: the routine calls run one instruction at a time, and each is
    // given before it runs, with its three bytes as the processor sees them;
    // an interrupt's entry (the machine's) is given too.
    void (*instruction)(void* context, uint16_t pc, const uint8_t bytes[3]) = nullptr;
    void (*interrupt)(void* context, bool nmi) = nullptr;
    // The play stops before the next call once this is true.
    const std::atomic<bool>* stop = nullptr;
    // Or once a stop signal was noted (platform/stop.h).
    bool stopOnSignal = false;
};

class Session {
public:
    // Resets the processor and places the tune's program data in memory
    // (data that would run past $FFFF is cut there, with a diagnostic naming
    // `name`), then starts the player: pc and A, or the machine; the call
    // rate and the length search begin. The song's diagnostics go to
    // `diagnostics`, which must outlive the session.
    Session(Tune tune, const PlayPlan& plan, const std::string& name, Diagnostics& diagnostics);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Stores into the sound chip go to `listener` too, before any study.
    void listen(WindowListener listener);
    // With a studying plan, before play: creates the study's files.
    void openStudy(const StudyFiles& files);

    // Plays the song: the start routine, then play calls while the plan
    // wants more and the length is not known. Returns the play calls run.
    uint32_t play(const SessionHooks& hooks = {});

    // After play, with a plan that finds the length: how long the song lasts,
    // and the machine's exact repeat if any.
    HeardLength heardLength();
    const SongLength& exactRepeat() const;
    // The console's length lines after `calls` play calls.
    std::string lengthLine(uint32_t calls);

    // After play: writes the study's files and closes them; `span` is where
    // the song lies in the run, `closing` the table's last line (empty:
    // none). False when one could not be written.
    bool closeStudy(const SongSpan& span, const std::string& closing);
    // After a play that was stopped: the study's files are removed.
    void discardStudy();
    // With a plan that finds the length, after play: where the song lies.
    SongSpan songSpan(bool wholeRun);

    const Tune& tune() const { return tune_; }
    const PlayPlan& plan() const { return plan_; }
    const CallRate& rate() const { return rate_; }
    // The study, once opened.
    Study* study() { return study_ ? &*study_ : nullptr; }
    // The most cycles a routine call took, the start routine included.
    uint64_t longestCall() const { return longestCall_; }
    // In the machine environment without a number of calls: the machine's
    // time the song is played at most, in cycles; 0 otherwise.
    uint64_t capCycles() const { return capCycles_; }

private:
    void start();
    void enterFlatRoutine();
    void showVoice3(uint64_t cycle);
    static void hearVoices(void* context, uint32_t time, uint16_t address, uint8_t value);
    bool moreCalls(uint32_t calls) const;
    bool routine(uint32_t call, const SessionHooks& hooks);
    bool endCall(uint32_t call, uint64_t cycles);
    void reportStop(int result, uint32_t call) const;
    MusicCalls musicUpTo(uint32_t lastCall);

    Tune tune_;
    PlayPlan plan_;
    Diagnostics& diagnostics_;
    uint64_t capCycles_ = 0;
    WritePath writePath_;
    CallRate rate_;
    std::optional<Study> study_;
    std::optional<LengthSearch> length_;
    uint64_t longestCall_ = 0;
    uint16_t returnPlace_ = 0;  // where flat routines return to; 0: $0001 as specified
    // A flat tune's song: the sound chip's voices as its reads of $D41B and
    // $D41C see them, brought up to date at its stores and at each call's
    // start; `callStart_` is the running call's start in cycles.
    std::optional<SidVoices> flatVoices_;
    uint64_t callStart_ = 0;
};
