// The old interface of the study, which the session replaces: the study of
// the run on this thread, held for it between the calls below. Each function
// passes on to that Study (study.h); the notes and the samples stay readable
// after studyClose, until the next studyOpen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song/call_rate.h"
#include "study/notes.h"
#include "study/study.h"
#include "tune/tune.h"

// Study::Study: the study of this thread's run from now on.
void studyOpen(const TuneHeader& header, const StudyFiles& files, int song);
// Study::setCalls.
void studySetCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds = 0);
// Study::store; a listener of the write path.
void studyStore(uint32_t time, uint16_t address, uint8_t value);
// Study::beginCall.
void studyBeginCall(const CallRate& rate);
// Study::endCall.
void studyEndCall(uint32_t call, uint64_t cycles, const CallRate& rate);
// Study::close.
bool studyClose(uint32_t loopCall, const std::string& closing, const CallRate& rate);

// NoteModel::finish of the study's notes.
void notesFinish(uint32_t lastCall);
// NoteModel::notes of the study's notes (none before the first studyOpen).
const std::vector<Note>& notes();
// Study::digiCalls (none before the first studyOpen).
const std::vector<uint8_t>& digiCalls();
