// The .tab file: a header, then one line per routine call with the call's
// cycles, its time, the chips' state after it and the level of each voice's
// envelope at the call's end, fields that did not change
// since the call before shown as ".".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/diagnostics.h"
#include "output/output_file.h"
#include "song/call_rate.h"
#include "study/chip.h"
#include "study/pitch.h"
#include "study/study_info.h"

// The table of one run.
class TableWriter {
public:
    // Creates the file.
    TableWriter(const std::string& fileName, Diagnostics* diagnostics = nullptr);

    // The line of routine call `call` (0 is the start routine); before call 0's,
    // the header, which names the call rate. `levels`: per voice, the envelope's
    // level at the end of the call; `rate`: when each call begins.
    void writeCall(const StudyInfo& info, uint32_t call, uint64_t cycles, const ChipState* chips,
                   const uint8_t* levels, const CallRate& rate);

    // Ends the table after the line of call `lastCall` (those after it are
    // dropped) with the line `closing` (when not empty), and closes it.
    bool close(const std::string& closing, uint32_t lastCall);
    // A run that was stopped: the table is removed.
    void discard();

private:
    OutputFile file_;
    StudyInfo run_{};  // as call 0 found it
    // The call before's state, against which a field is "." or written.
    ChipState previous_[kMaxChips] = {};
    uint8_t previousLevels_[kMaxVoices] = {};
    PitchMemo pitches_;           // of the note column
    std::vector<uint64_t> ends_;  // per call, the file's size after its line
};
