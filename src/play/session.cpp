#include "play/session.h"

#include <algorithm>

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "machine/machine.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "platform/stop.h"

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

// Where reads of voice 3's waveform and envelope look in the flat memory.
constexpr uint16_t kVoice3Bytes[2] = {0xD41B, 0xD41C};

// Where a flat tune's routines return to as from a player's call: the place
// the machine would put its idle loop (free pages outside the image), or 0
// when that lies in the image or the two low pages.
uint16_t flatReturnPlace(const TuneHeader& header) {
    const FreePages free = tuneFreePages(header);
    const uint32_t size = static_cast<uint32_t>(header.dataSize);
    const uint16_t place = machineIdlePlace(header.loadAddress, size, free.startPage, free.pages);
    const bool inImage = place >= header.loadAddress && place < header.loadAddress + size;
    return inImage || place < 0x200 ? 0 : place;
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
    // The machine's processor is the C64's NMOS 6502, which executes the
    // undocumented opcodes; a store to $5094 there is one to RAM.
    cpuSetUndocumented(plan_.undocumented || plan_.machine);
    if (plan_.budget > 0) watchdogSetCycleBudget(plan_.budget);
    writePath_.attach(plan_.bump && !plan_.machine);
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
        if (plan_.playerReturns) returnPlace_ = flatReturnPlace(header);
        // Voice 3 read back, unless the tune's own bytes lie there.
        const uint32_t end = header.loadAddress + static_cast<uint32_t>(header.dataSize);
        if (plan_.playerReturns &&
            (end <= kVoice3Bytes[0] || header.loadAddress > kVoice3Bytes[1])) {
            flatVoices_.emplace();
            sidVoicesReset(*flatVoices_, 0);
            writePath_.listen({hearVoices, this});
            showVoice3(0);
        }
        cpuSetPc(plan_.atInit ? header.initAddress : header.loadAddress);
        if (plan_.setSong) cpu.a = static_cast<uint8_t>(plan_.song - 1);  // players read A
        enterFlatRoutine();
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
    if (plan_.length) {
        if (plan_.machine) {
            length_.emplace(machineStateWords, HiddenBytes{kMachineClockBytes, 3});
        } else if (flatVoices_) {
            length_.emplace(nullptr, HiddenBytes{kVoice3Bytes, 2});
        } else {
            length_.emplace(nullptr);
        }
    }
}

void Session::enterFlatRoutine() {
    if (returnPlace_ == 0) return;
    // A $00 where the routine returns to, and the return address a JSR
    // would push (that of its last byte).
    uint8_t* memory = cpuMemory();
    memory[returnPlace_] = 0x00;
    const auto last = static_cast<uint16_t>(returnPlace_ - 1);
    memory[0x100 + cpu.sp] = static_cast<uint8_t>(last >> 8);
    --cpu.sp;
    memory[0x100 + cpu.sp] = static_cast<uint8_t>(last);
    --cpu.sp;
}

void Session::showVoice3(uint64_t cycle) {
    SidVoices& voices = *flatVoices_;
    uint8_t* memory = cpuMemory();
    memory[kVoice3Bytes[0]] = sidVoicesRead(voices, cycle, 0x1B);
    memory[kVoice3Bytes[1]] = sidVoicesRead(voices, cycle, 0x1C);
}

void Session::hearVoices(void* context, uint32_t time, uint16_t address, uint8_t value) {
    Session& session = *static_cast<Session*>(context);
    const uint64_t cycle = session.callStart_ + time;
    sidVoicesWrite(*session.flatVoices_, cycle, static_cast<uint8_t>(address & 0x1F), value);
    session.showVoice3(cycle);
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
        if (hooks.stopOnSignal && stopSignalNoted != 0) break;  // the user asked the run to stop
        if (!plan_.machine) {                                   // the machine goes on where it is
            cpuSetPc(tune_.header.playAddress);
            enterFlatRoutine();
            watchdogStartRoutine();
        }
        if (hooks.beforeCall != nullptr) hooks.beforeCall(hooks.context, call + 1);
        known = routine(++call, hooks);
    }
    return call;
}

bool Session::routine(uint32_t call, const SessionHooks& hooks) {
    if (study_) study_->beginCall(rate_);
    if (flatVoices_) {  // the call begins where the one before ended
        callStart_ = call == 0 ? 0 : rate_.start(call);
        showVoice3(callStart_);
    }
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

bool Session::closeStudy(const SongSpan& span, const std::string& closing) {
    if (!study_) return true;
    return study_->close(span, closing, rate_);
}

void Session::discardStudy() {
    if (study_) study_->discard();
}

SongSpan Session::songSpan(bool wholeRun) {
    SongSpan span;
    span.wholeRun = wholeRun;
    if (!length_) return span;
    const HeardLength heard = heardLength();
    if (heard.kind == HeardKind::Loop) span.loopCall = heard.start;
    if (heard.kind != HeardKind::None) span.endCall = heard.end;
    return span;
}
