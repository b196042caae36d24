#include "play/session.h"

#include <algorithm>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "machine/machine.h"
#include "output/diagnostics.h"
#include "output/output_file.h"

namespace {

// Which routine call is running, for diagnostics: 0 is the start routine.
std::string routineName(uint32_t callNumber) {
    return callNumber == 0 ? "start routine" : "play call #" + std::to_string(callNumber);
}

std::string hex(uint32_t value, int digits) {
    char text[8];
    return std::string(text, putHex(text, value, digits, false));
}

// Places the tune's program data at its load address; what would run past
// $FFFF is cut there.
void placeProgramData(const Tune& tune, const std::string& name, Diagnostics& diagnostics) {
    const TuneHeader& header = tune.header;
    const uint32_t room = 0x10000u - header.loadAddress;
    uint32_t size = static_cast<uint32_t>(tune.data.size());
    if (size > room) {
        diagnostics.say(name + ": program data at " + hex(header.loadAddress, 4) +
                        " runs past ffff; " + std::to_string(size - room) + " bytes dropped");
        size = room;
    }
    cpuLoad(tune.data.data(), header.loadAddress, static_cast<uint16_t>(size));
}

void hearStudy(void* study, uint32_t time, uint16_t address, uint8_t value) {
    static_cast<Study*>(study)->store(time, address, value);
}

// The instruction hook as the machine's trace wants it.
struct Trace {
    const SessionHooks* hooks;
    static void instruction(void* context, uint16_t pc, const uint8_t bytes[3]) {
        const SessionHooks& h = *static_cast<Trace*>(context)->hooks;
        h.instruction(h.context, pc, bytes);
    }
    static void interrupt(void* context, bool nmi) {
        const SessionHooks& h = *static_cast<Trace*>(context)->hooks;
        if (h.interrupt != nullptr) h.interrupt(h.context, nmi);
    }
};

}  // namespace

Session::Session(Tune tune, const PlayPlan& plan, const std::string& name, Diagnostics& diagnostics)
    : tune_(std::move(tune)), plan_(plan), diagnostics_(diagnostics) {
    cpuReset();
    cpuSetUndocumented(plan_.undocumented);
    if (plan_.budget > 0) watchdogSetCycleBudget(plan_.budget);
    writePath_.attach(plan_.bump);
    placeProgramData(tune_, name, diagnostics_);
    start();
}

void Session::start() {
    const TuneHeader& header = tune_.header;
    if (plan_.machine) {
        writePath_.fromChip();
        const FreePages free = tuneFreePages(header);
        const uint16_t idle = machineIdlePlace(
            header.loadAddress, static_cast<uint32_t>(header.dataSize), free.startPage, free.pages);
        const uint8_t bank = machineStartBank(tuneIsRsid(header), header.loadAddress,
                                              static_cast<uint32_t>(header.dataSize));
        machineStart({tuneIsNtsc(header), header.initAddress, static_cast<uint8_t>(plan_.song - 1),
                      plan_.budget, idle, bank, WritePath::soundOf, &writePath_});
    } else {
        cpuSetPc(plan_.atInit ? header.initAddress : header.loadAddress);
        if (plan_.setSong) cpu.a = static_cast<uint8_t>(plan_.song - 1);  // players read A
        watchdogStartRoutine();
    }
    // In the environment, without a number of calls, the song is played for
    // kPlaySeconds of the machine's time (the interrupts' rate may change).
    if (plan_.machine && plan_.callsAfterStart) {
        plan_.calls = 0x7FFFFFFF;
        capCycles_ = uint64_t{kPlaySeconds} * tuneClock(header);
    }
    rate_ = CallRate(header, plan_.song);
    if (plan_.machine) rate_.measure();
    if (plan_.length) length_.emplace(plan_.machine ? machineStateWords : nullptr);
}

void Session::listen(WindowListener listener) {
    writePath_.listen(listener);
}

void Session::openStudy(const StudyFiles& files) {
    if (!plan_.studying) return;
    study_.emplace(tune_.header, files, plan_.song, &diagnostics_);
    // Only the length wanted: what the run keeps stays within a bound,
    // however many calls it makes.
    if (plan_.length && files.table.empty() && files.roll.empty() && files.midi.empty()) {
        study_->bound(kMostEntries);
        rate_.bound(kMostPeriods);
    }
    writePath_.listen({hearStudy, &*study_});
}

bool Session::moreCalls(uint32_t calls) const {
    if (calls >= plan_.calls) return false;
    return capCycles_ == 0 || rate_.start(calls + 1) < capCycles_;
}

uint32_t Session::play(const SessionHooks& hooks) {
    bool known = routine(0, hooks);
    if (hooks.afterStart != nullptr) hooks.afterStart(hooks.context);
    uint32_t call = 0;
    while (!known && moreCalls(call)) {
        if (hooks.stop != nullptr && hooks.stop->load(std::memory_order_relaxed)) break;
        if (!plan_.machine) {  // the machine goes on where it is
            cpuSetPc(tune_.header.playAddress);
            watchdogStartRoutine();
        }
        if (hooks.beforeCall != nullptr) hooks.beforeCall(hooks.context, call + 1);
        known = routine(++call, hooks);
    }
    return call;
}

bool Session::routine(uint32_t call, const SessionHooks& hooks) {
    if (study_) study_->beginCall(rate_);
    uint64_t cycles = 0;
    if (plan_.machine) {
        Trace trace{&hooks};
        const MachineTrace machineTrace{Trace::instruction, Trace::interrupt, &trace};
        const MachineCall run =
            machineRunCall(hooks.instruction != nullptr ? &machineTrace : nullptr);
        reportStop(run.stopped ? kRunStopped : kRunStepsDone, call);
        cycles = run.cycles;
    } else if (hooks.instruction != nullptr) {
        // One instruction at a time, the $00 that ends the call included.
        const uint8_t* memory = cpuMemory();
        int result;
        do {
            const uint16_t pc = cpuPc();
            const uint8_t bytes[3] = {memory[pc], memory[static_cast<uint16_t>(pc + 1)],
                                      memory[static_cast<uint16_t>(pc + 2)]};
            hooks.instruction(hooks.context, pc, bytes);
            result = cpuRun(1);
            cycles += cpu.cycleTotal;
        } while (result == kRunStepsDone);
        reportStop(result, call);
    } else {
        const int result = cpuRun(0);
        reportStop(result, call);
        cycles = cpu.cycleTotal;
    }
    return endCall(call, cycles);
}

bool Session::endCall(uint32_t call, uint64_t cycles) {
    longestCall_ = std::max(longestCall_, cycles);
    // The call rate first: the study and the length search ask it when the
    // call ended.
    if (plan_.machine) {
        rate_.callCycles(call, cycles);
    } else {
        const uint8_t* memory = cpuMemory();
        rate_.afterCall(
            call, static_cast<uint16_t>(memory[kTimerLatchLow] | memory[kTimerLatchLow + 1] << 8));
    }
    if (call == 0) {
        if (plan_.callsAfterStart && !plan_.machine) plan_.calls = rate_.callsWithin(kPlaySeconds);
        if (study_) study_->setCalls(plan_.calls, plan_.length, capCycles_ != 0 ? kPlaySeconds : 0);
    }
    if (study_) study_->endCall(call, cycles, rate_);
    if (!length_) return false;
    return length_->afterCall(call, rate_, [this](uint32_t last) { return musicUpTo(last); });
}

MusicCalls Session::musicUpTo(uint32_t lastCall) {
    // The length is heard in the notes: a plan that finds it studies.
    NoteModel& notes = study_->notes();
    notes.finish(lastCall);
    return musicCalls(notes.notes(), lastCall, study_->digiCalls(), notes.shift());
}

void Session::reportStop(int result, uint32_t call) const {
    if (result != kRunStopped) return;
    std::string text = routineName(call) + ": ";
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
            text += "cycle budget " + std::to_string(plan_.budget) + " reached at ";
            break;
        case StopReason::None: break;
    }
    text += hex(watchdog.stopAddress, 4) + "; call ended";
    if (watchdog.reason == StopReason::NotExecuted && !jam && !cpu.undocumented)
        text += " (--undocumented runs it)";
    diagnostics_.say(text);
}

HeardLength Session::heardLength() {
    if (!length_) return {HeardKind::None, 0, 0, 0};
    return length_->heard(rate_, [this](uint32_t last) { return musicUpTo(last); });
}

const SongLength& Session::exactRepeat() const {
    static constexpr SongLength kNone{false, 0, 0};
    return length_ ? length_->exact() : kNone;
}

std::string Session::lengthLine(uint32_t calls) {
    return songLengthLine(plan_.song, tune_.header.songs, calls, heardLength(), exactRepeat(),
                          rate_);
}

bool Session::closeStudy(uint32_t loopCall, const std::string& closing) {
    if (!study_) return true;
    return study_->close(loopCall, closing, rate_);
}
