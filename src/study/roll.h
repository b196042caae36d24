// The .svg file: a piano roll of the notes. Time runs left to right with a
// tick each second, pitch bottom to top over the keys the tune uses, each
// voice in its own colour: a bar per note (a chord's keys each have one), a
// thin line through a bent note's pitch call by call, and the drum hits in a
// lane of their own.
#pragma once

#include <string>
#include <vector>

#include "song/call_rate.h"
#include "study/notes.h"
#include "study/study_info.h"

// The picture as text, made when the run is over; `rate`: when each call
// begins.
std::string rollPicture(const StudyInfo& info, const std::vector<Note>& notes,
                        const std::vector<int32_t>& bends, const CallRate& rate);

// Text for XML: the header's bytes read as Latin-1, written as UTF-8, with
// the markup characters escaped and control characters left out.
std::string xmlText(const std::string& bytes);
