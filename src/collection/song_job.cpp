#include "collection/song_job.h"

#include <algorithm>

#include "output/diagnostics.h"
#include "play/session.h"
#include "sidlog/mem_write.h"
#include "tune/tune.h"

SongOutcome playSongJob(const SongJob& job, const std::atomic<bool>& stop) {
    SongOutcome outcome;
    Tune tune;
    if (!loadTuneBytes(job.bytes->data(), job.bytes->size(), tune)) {
        outcome.found = SongFound::Error;
        outcome.error = tune.problem;
        return outcome;
    }
    const bool inMachine = tuneInterruptDriven(tune.header);
    if (inMachine && tuneNeedsBasic(tune.header)) {
        outcome.found = SongFound::Error;
        outcome.error = kNeedsBasic;
        return outcome;
    }

    // As a player plays it: from the init address with the song's number in A.
    PlayPlan plan;
    plan.atInit = true;
    plan.setSong = true;
    plan.song = job.song;
    plan.studying = true;
    plan.length = true;
    plan.calls = job.calls;
    plan.callsAfterStart = job.calls == 0;
    plan.machine = inMachine;
    plan.budget = job.maxCycles;
    plan.undocumented = job.undocumented;
    plan.bump = false;
    plan.playerReturns = true;

    Diagnostics log(true);
    Session session(std::move(tune), plan, job.tuneName, log);
    uint64_t soundWrites = 0;
    session.listen(storeCounter(soundWrites));
    session.openStudy({job.table, job.roll, job.midi});
    SessionHooks hooks;
    hooks.stop = &stop;
    const uint32_t calls = session.play(hooks);
    // Cut short, the song does not count: nothing more is worked out, and
    // its files are not made.
    if (stop.load(std::memory_order_relaxed)) {
        session.discardStudy();
        return outcome;
    }
    const HeardLength heard = session.heardLength();
    const SongLength& exact = session.exactRepeat();
    outcome.filesWritten = session.closeStudy(session.songSpan(job.wholeRun), std::string());

    const CallRate& rate = session.rate();
    outcome.found = heard.kind == HeardKind::Loop   ? SongFound::Loop
                    : heard.kind == HeardKind::Ends ? SongFound::Ends
                                                    : SongFound::None;
    outcome.ntsc = rate.ntsc();
    outcome.clock = rate.clock();
    outcome.callPeriod = rate.period(0);
    if (rate.measured() && calls >= 1) {
        const uint64_t playing = rate.start(calls + 1) - rate.start(1);
        outcome.callPeriod =
            static_cast<uint32_t>(std::max<uint64_t>(1, (playing + calls / 2) / calls));
    }
    outcome.calls = calls;
    // The time at the end of call k is when call k + 1 begins.
    outcome.lengthCycles = rate.start(heardCalls(heard, calls) + 1);
    if (heard.kind == HeardKind::Loop) outcome.loopStartCycles = rate.start(heard.start);
    outcome.exact = exact.repeats;
    outcome.repeatI = exact.first;
    outcome.repeatJ = exact.last;
    outcome.longestCall = session.longestCall();
    outcome.soundWrites = soundWrites;
    outcome.diagnostics = log.count();
    outcome.firstDiagnostic = log.first();
    return outcome;
}
