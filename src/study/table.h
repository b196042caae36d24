// The .tab file: a header, then one line per routine call with the call's
// cycles, its time and the chips' state after it, fields that did not change
// since the call before shown as ".".
#pragma once

#include <cstdint>
#include <string>

#include "study/chip.h"
#include "study/study_info.h"

// Creates the file and writes its header.
void tableOpen(const std::string& fileName, const StudyInfo& info);

// The line of routine call `call` (0 is the start routine).
void tableWriteCall(uint32_t call, uint64_t cycles, const ChipState* chips);

bool tableClose();
