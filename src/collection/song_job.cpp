#include "collection/song_job.h"

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "output/diagnostics.h"
#include "play/play.h"
#include "sidlog/mem_write.h"
#include "song/call_rate.h"
#include "song/song_length.h"
#include "study/study.h"
#include "tune/tune.h"

namespace {

thread_local uint64_t soundWrites;

void countStore(uint32_t, uint16_t, uint8_t) {
    ++soundWrites;
}

}  // namespace

SongOutcome playSongJob(const SongJob& job, const std::atomic<bool>& stop) {
    SongOutcome outcome;
    DiagnosticLog log;
    diagnosticsCollect(&log);
    cpuReset();
    cpuSetUndocumented(job.undocumented);
    if (job.maxCycles > 0) watchdogSetCycleBudget(job.maxCycles);
    memWriteReset(false);
    soundWrites = 0;
    memWriteListen(countStore);
    tuneHeader() = TuneHeader{};
    allocateLoadBuffer();
    if (!loadTuneBytes(job.bytes->data(), job.bytes->size())) {
        diagnosticsCollect(nullptr);
        outcome.found = "error";
        outcome.error = tuneLoadProblem();
        return outcome;
    }
    const TuneHeader& header = tuneHeader();
    const bool inMachine = playInterruptDriven(header);
    if (inMachine && playNeedsBasic(header)) {
        diagnosticsCollect(nullptr);
        outcome.found = "error";
        outcome.error = kNeedsBasic;
        return outcome;
    }
    playPlaceProgramData(job.tuneName);

    PlayPlan plan{};
    plan.atInit = true;
    plan.setSong = true;
    plan.song = job.song;
    plan.studying = true;
    plan.length = true;
    plan.calls = job.calls;
    plan.callsAfterStart = job.calls == 0;
    plan.machine = inMachine;
    plan.budget = job.maxCycles;
    playStart(plan);
    studyOpen({job.table, job.roll, job.midi}, job.song);
    memWriteListen(studyStore);

    bool known = playRoutine(0);
    uint32_t call = 0;
    while (!known && playMoreCalls(call)) {
        if (stop.load(std::memory_order_relaxed)) break;
        playBeginCall();
        known = playRoutine(++call);
    }
    const HeardLength heard = playHeardLength();
    const SongLength exact = songLength();
    const uint32_t loopCall = heard.kind == HeardKind::Loop ? heard.start : 0;
    outcome.filesWritten = studyClose(loopCall, std::string());
    diagnosticsCollect(nullptr);

    outcome.found = heard.kind == HeardKind::Loop   ? "loop"
                    : heard.kind == HeardKind::Ends ? "ends"
                                                    : "none";
    outcome.ntsc = tuneIsNtsc(header);
    outcome.clock = outcome.ntsc ? kNtscClock : kPalClock;
    outcome.firstPeriod = callPeriod(0);
    outcome.calls = call;
    // The time at the end of call k is when call k + 1 begins.
    outcome.lengthCycles = callStart(heardCalls(heard, call) + 1);
    if (heard.kind == HeardKind::Loop) outcome.loopStartCycles = callStart(heard.start);
    outcome.exact = exact.repeats;
    outcome.repeatI = exact.first;
    outcome.repeatJ = exact.last;
    outcome.longestCall = playLongestCall();
    outcome.soundWrites = soundWrites;
    outcome.diagnostics = log.count;
    outcome.firstDiagnostic = log.first;
    return outcome;
}
