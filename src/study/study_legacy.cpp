#include "study/study_legacy.h"

#include <memory>

namespace {

// The old interface's one study: that of the run on this thread.
thread_local std::unique_ptr<Study> study;

}  // namespace

void studyOpen(const TuneHeader& header, const StudyFiles& files, int song) {
    study = std::make_unique<Study>(header, files, song);
}

void studySetCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds) {
    study->setCalls(calls, untilRepeat, capSeconds);
}

void studyStore(uint32_t time, uint16_t address, uint8_t value) {
    study->store(time, address, value);
}

void studyBeginCall(const CallRate& rate) {
    study->beginCall(rate);
}

void studyEndCall(uint32_t call, uint64_t cycles, const CallRate& rate) {
    study->endCall(call, cycles, rate);
}

bool studyClose(uint32_t loopCall, const std::string& closing, const CallRate& rate) {
    return study->close(loopCall, closing, rate);
}

void notesFinish(uint32_t lastCall) {
    study->notes().finish(lastCall);
}

const std::vector<Note>& notes() {
    static const std::vector<Note> kNone;
    return study ? study->notes().notes() : kNone;
}

const std::vector<uint8_t>& digiCalls() {
    static const std::vector<uint8_t> kNone;
    return study ? study->digiCalls() : kNone;
}
