// The .mid file: a Standard MIDI File of format 1. A first track with the
// tune's name, the tempo and a marker "loop" where the song starts to repeat,
// then a track per voice on the voice's channel (1 to 9), its percussion
// notes on channel 10 with a drum key of the voice. One tick per routine
// call, the tempo set so that a tick lasts its call's period: the first rate
// (rounded) ticks a quarter note, and a tempo event wherever the rate changes.
#pragma once

#include <string>
#include <vector>

#include "study/notes.h"
#include "study/study_info.h"

// The whole file as bytes, made when the run is over.
std::string midiFile(const StudyInfo& info, const std::vector<Note>& notes);

// The drum key a voice's percussion notes play.
int drumKey(int voice);
