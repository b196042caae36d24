#include "play/play.h"

#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "output/diagnostics.h"
#include "output/output_file.h"
#include "song/call_rate.h"
#include "song/song_length.h"
#include "study/study.h"
#include "tune/tune.h"

namespace {

thread_local PlayPlan plan;
thread_local uint64_t longestCall;

// Which routine call is running, for diagnostics: 0 is the start routine.
std::string routineName(uint32_t callNumber) {
    return callNumber == 0 ? "start routine" : "play call #" + std::to_string(callNumber);
}

std::string hex(uint32_t value, int digits) {
    char text[8];
    return std::string(text, putHex(text, value, digits, false));
}

}  // namespace

void playPlaceProgramData(const std::string& tuneName) {
    const TuneHeader& header = tuneHeader();
    const uint32_t room = 0x10000u - header.loadAddress;
    uint32_t size = static_cast<uint32_t>(header.dataSize);
    if (size > room) {
        diagnose(tuneName + ": program data at " + hex(header.loadAddress, 4) +
                 " runs past ffff; " + std::to_string(size - room) + " bytes dropped");
        size = room;
    }
    cpuLoad(header.data, header.loadAddress, static_cast<uint16_t>(size));
}

void playStart(const PlayPlan& wanted) {
    plan = wanted;
    longestCall = 0;
    const TuneHeader& header = tuneHeader();
    cpuSetPc(plan.atInit ? header.initAddress : header.loadAddress);
    if (plan.setSong) cpu.a = static_cast<uint8_t>(plan.song - 1);  // players read A
    watchdogStartRoutine();
    callRateReset(header, plan.song);
    if (plan.length) songLengthStart();
}

const PlayPlan& playPlan() {
    return plan;
}

void playBeginCall() {
    cpuSetPc(tuneHeader().playAddress);
    watchdogStartRoutine();
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
            text += "cycle budget " + std::to_string(watchdog.cycleLimit) + " reached at ";
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
    const uint8_t* memory = cpuMemory();
    callRateAfterCall(
        call, static_cast<uint16_t>(memory[kTimerLatchLow] | memory[kTimerLatchLow + 1] << 8));
    if (call == 0) {
        if (plan.callsAfterStart) plan.calls = callsWithin(plan.seconds);
        if (plan.studying) studySetCalls(plan.calls, plan.length);
    }
    if (plan.studying) studyEndCall(call, cycles);
    return plan.length && songLengthAfterCall(call);
}

bool playRoutine(uint32_t call) {
    if (plan.studying) studyBeginCall();
    const int result = cpuRun(0);
    playReportStop(result, call);
    return playEndCall(call, cpu.cycleTotal);
}

uint64_t playLongestCall() {
    return longestCall;
}
