#include "play/play.h"

#include <algorithm>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "sidlog/mem_write.h"
#include "song/call_rate.h"
#include "song/song_length.h"
#include "study/digi.h"
#include "study/loop.h"
#include "study/notes.h"
#include "study/study_legacy.h"
#include "tune/tune.h"

namespace {

thread_local PlayPlan plan;
thread_local Tune tune;
thread_local CallRate rate;
thread_local uint64_t longestCall;

// Without a repeat of the machine's state, the notes decide where the song
// repeats or ends: they are looked at now and then as the run goes.
struct Listening {
    uint32_t nextLook;
    bool decided;
    HeardLength heard;
};
thread_local Listening listening;

// When the notes are first looked at, in calls; then again each time the run
// has gone on by a fifth, at least this much.
constexpr uint32_t kFirstLook = 500;
// A song silent this long, in seconds, has ended.
constexpr uint32_t kSilenceSeconds = 30;
// A loop found in the notes alone counts once it has held for two whole
// passes after its first, up to the last call, and when the calls from its
// start are at least two minutes and no more than one pass comes before it:
// a section played a few times within a song, or a riff under an intro, is
// not taken for the song's loop. Loops are a second long at least.
constexpr LoopRules loopRules(uint32_t second) {
    return {2, second, 100, 120 * second, kMismatchShare};
}

// The calls that last `seconds` at the mean rate of calls 0 to `call` (which
// in the machine environment may change from call to call).
uint32_t callsOf(uint32_t seconds, uint32_t call) {
    const uint64_t elapsed = std::max<uint64_t>(rate.start(call + 1), 1);
    return static_cast<uint32_t>(uint64_t{seconds} * rate.clock() * (call + 1) / elapsed);
}

// A loop as a heard length: the first pass begins at the loop's start, call
// 1 at the earliest (call 0 is the start routine).
HeardLength loopLength(const MusicLoop& loop) {
    const uint32_t start = std::max(loop.start, 1u);
    return {HeardKind::Loop, start, loop.period, start + loop.period - 1};
}

// Looks at the notes up to `call`: true when they say where the song repeats
// or that it has ended.
bool lookAtNotes(uint32_t call) {
    notesFinish(call);
    const MusicCalls music = musicCalls(notes(), call, digiCalls());
    uint32_t heard = 0;
    if (lastHeard(music, heard) && call - heard >= callsOf(kSilenceSeconds, call)) {
        listening.heard = {HeardKind::Ends, 0, 0, heard};
        return true;
    }
    const MusicLoop loop = loopInMusic(music, loopRules(callsOf(1, call)));
    if (loop.period > 0) {
        listening.heard = loopLength(loop);
        return true;
    }
    return false;
}

// Which routine call is running, for diagnostics: 0 is the start routine.
std::string routineName(uint32_t callNumber) {
    return callNumber == 0 ? "start routine" : "play call #" + std::to_string(callNumber);
}

std::string hex(uint32_t value, int digits) {
    char text[8];
    return std::string(text, putHex(text, value, digits, false));
}

}  // namespace

Tune& playTune() {
    return tune;
}

const CallRate& playCallRate() {
    return rate;
}

void playPlaceProgramData(const std::string& tuneName) {
    const TuneHeader& header = tune.header;
    const uint32_t room = 0x10000u - header.loadAddress;
    uint32_t size = static_cast<uint32_t>(header.dataSize);
    if (size > room) {
        diagnose(tuneName + ": program data at " + hex(header.loadAddress, 4) +
                 " runs past ffff; " + std::to_string(size - room) + " bytes dropped");
        size = room;
    }
    cpuLoad(tune.data.data(), header.loadAddress, static_cast<uint16_t>(size));
}

void playStart(const PlayPlan& wanted) {
    plan = wanted;
    longestCall = 0;
    const TuneHeader& header = tune.header;
    if (plan.machine) {
        memWriteFromChip();
        const FreePages free = tuneFreePages(header);
        const uint16_t idle = machineIdlePlace(
            header.loadAddress, static_cast<uint32_t>(header.dataSize), free.startPage, free.pages);
        const uint8_t bank = machineStartBank(tuneIsRsid(header), header.loadAddress,
                                              static_cast<uint32_t>(header.dataSize));
        machineStart({tuneIsNtsc(header), header.initAddress, static_cast<uint8_t>(plan.song - 1),
                      plan.budget, idle, bank, memWriteSound});
    } else {
        cpuSetPc(plan.atInit ? header.initAddress : header.loadAddress);
        if (plan.setSong) cpu.a = static_cast<uint8_t>(plan.song - 1);  // players read A
        watchdogStartRoutine();
    }
    plan.capCycles = 0;
    if (plan.machine && plan.callsAfterStart) {
        plan.calls = 0x7FFFFFFF;
        plan.capCycles = uint64_t{kPlaySeconds} * tuneClock(header);
    }
    rate = CallRate(header, plan.song);
    if (plan.machine) rate.measure();
    if (plan.length) songLengthStart(plan.machine ? machineStateWords : nullptr);
    listening = {kFirstLook, false, {HeardKind::None, 0, 0, 0}};
}

const PlayPlan& playPlan() {
    return plan;
}

void playBeginCall() {
    if (plan.machine) return;
    cpuSetPc(tune.header.playAddress);
    watchdogStartRoutine();
}

bool playMoreCalls(uint32_t calls) {
    if (calls >= plan.calls) return false;
    return plan.capCycles == 0 || rate.start(calls + 1) < plan.capCycles;
}

void playReportStop(int result, uint32_t callNumber) {
    if (result != kRunStopped) return;
    std::string text = routineName(callNumber) + ": ";
    const uint8_t opcode = watchdog.stopOpcode;
    const bool jam = isJamOpcode(opcode);
    switch (watchdog.reason) {
        case StopReason::NotExecuted:
            text += (jam && cpu.undocumented ? "jam opcode " : "undocumented opcode ") +
                    hex(opcode, 2) + " at ";
            break;
        case StopReason::EndlessLoop: text += "endless loop at "; break;
        case StopReason::CycleLimit: text += "cycle total would pass 4294967295 at "; break;
        case StopReason::CycleBudget:
            text += "cycle budget " + std::to_string(plan.budget) + " reached at ";
            break;
        case StopReason::None: break;
    }
    text += hex(watchdog.stopAddress, 4) + "; call ended";
    if (watchdog.reason == StopReason::NotExecuted && !jam && !cpu.undocumented)
        text += " (--undocumented runs it)";
    diagnose(text);
}

bool playEndCall(uint32_t call, uint64_t cycles) {
    if (cycles > longestCall) longestCall = cycles;
    if (plan.machine) {
        rate.callCycles(call, cycles);
    } else {
        const uint8_t* memory = cpuMemory();
        rate.afterCall(
            call, static_cast<uint16_t>(memory[kTimerLatchLow] | memory[kTimerLatchLow + 1] << 8));
    }
    if (call == 0) {
        if (plan.callsAfterStart && !plan.machine) plan.calls = rate.callsWithin(kPlaySeconds);
        if (plan.studying)
            studySetCalls(plan.calls, plan.length, plan.capCycles != 0 ? kPlaySeconds : 0);
    }
    if (plan.studying) studyEndCall(call, cycles, rate);
    if (!plan.length) return false;
    if (songLengthAfterCall(call)) return true;  // the machine repeats: certain
    if (call < listening.nextLook) return false;
    listening.nextLook = std::max(call + kFirstLook, call + call / 5);
    listening.decided = lookAtNotes(call);
    return listening.decided;
}

HeardLength playHeardLength() {
    const SongLength exact = songLength();
    if (exact.repeats) {
        notesFinish(exact.last);
        const MusicCalls music = musicCalls(notes(), exact.last, digiCalls());
        const MusicLoop loop = loopInState(music, exact.first, exact.last, callsOf(1, exact.last));
        if (loop.period > 0) return loopLength(loop);
        uint32_t heard = 0;
        if (!lastHeard(music, heard)) heard = 0;
        return {HeardKind::Ends, 0, 0, heard};
    }
    if (listening.decided) return listening.heard;
    return {HeardKind::None, 0, 0, 0};
}

bool playMachineCall(uint32_t call, const MachineTrace* trace) {
    if (plan.studying) studyBeginCall(rate);
    const MachineCall run = machineRunCall(trace);
    playReportStop(run.stopped ? kRunStopped : kRunStepsDone, call);
    return playEndCall(call, run.cycles);
}

bool playRoutine(uint32_t call) {
    if (plan.machine) return playMachineCall(call, nullptr);
    if (plan.studying) studyBeginCall(rate);
    const int result = cpuRun(0);
    playReportStop(result, call);
    return playEndCall(call, cpu.cycleTotal);
}

uint64_t playLongestCall() {
    return longestCall;
}
