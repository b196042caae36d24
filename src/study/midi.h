// The .mid file: a Standard MIDI File of format 1. A first track with the
// tempo and the tune's name, then a track per voice on the voice's channel
// (1 to 9), its percussion notes on channel 10 with a drum key of the voice.
// One tick per routine call: 50 (PAL) or 60 (NTSC) ticks a quarter note at
// 1,000,000 microseconds a quarter note, so that the times are the real ones.
#pragma once

#include <string>
#include <vector>

#include "study/notes.h"
#include "study/study_info.h"

// The whole file as bytes, made when the run is over.
std::string midiFile(const StudyInfo& info, const std::vector<Note>& notes);

// The drum key a voice's percussion notes play.
int drumKey(int voice);
