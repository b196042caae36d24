// The study's interface as a value over the study's per-thread functions,
// until the study holds its state in a value of its own.
#pragma once

#include <string>
#include <vector>

#include "study/digi.h"
#include "study/notes.h"
#include "study/study.h"

class NoteModel {
public:
    void finish(uint32_t lastCall) { notesFinish(lastCall); }
    const std::vector<Note>& notes() const { return ::notes(); }
};

class Study {
public:
    Study(const TuneHeader& header, const StudyFiles& files, int song) {
        studyOpen(header, files, song);
    }
    void setCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds = 0) {
        studySetCalls(calls, untilRepeat, capSeconds);
    }
    void store(uint32_t time, uint16_t address, uint8_t value) { studyStore(time, address, value); }
    void beginCall(const CallRate& rate) { studyBeginCall(rate); }
    void endCall(uint32_t call, uint64_t cycles, const CallRate& rate) {
        studyEndCall(call, cycles, rate);
    }
    bool close(uint32_t loopCall, const std::string& closing, const CallRate& rate) {
        return studyClose(loopCall, closing, rate);
    }
    NoteModel& notes() { return model_; }
    const std::vector<uint8_t>& digiCalls() const { return ::digiCalls(); }

private:
    NoteModel model_;
};
