// The notes a voice plays, from the chip's state after each routine call.
//
// After a call a voice is silent, pitched (with its key) or percussion: it
// sounds when its gate is set, its test bit clear, a waveform chosen, its
// frequency not 0 and its key 0 to 127; it is percussion when its noise
// waveform is chosen. A note begins in a call after which the voice sounds
// and either did not sound the same way after the call before (silent,
// pitched against percussion, or pitched with another key), or had its gate
// written off and on again within the call. It lasts up to the call before
// the one in which the voice falls silent or a new note begins.
#pragma once

#include <cstdint>
#include <vector>

#include "study/chip.h"

enum class Sound : uint8_t { Silent, Pitched, Percussion };

struct VoiceSound {
    Sound sound;
    int key;  // for pitched and percussion voices
};

VoiceSound voiceSound(const VoiceRegisters& voice, uint32_t clock);

struct Note {
    uint8_t voice;  // 0 to 8
    bool percussion;
    uint8_t key;           // pitched notes
    uint32_t first, last;  // routine calls, 0 being the start routine
};

// Forgets all notes.
void notesReset();

// The voice's sound after routine call `call`; calls come in order. A call
// after which a voice sounds as after the call before, without a retrigger,
// need not be told.
void notesAfterCall(uint32_t call, int voice, VoiceSound sound, bool retriggered);

// Ends the notes still sounding after the last call.
void notesFinish(uint32_t lastCall);

// Every note, in the order they began (by call, then voice).
const std::vector<Note>& notes();
