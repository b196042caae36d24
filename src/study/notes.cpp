#include "study/notes.h"

#include <cstddef>

#include "study/pitch.h"

namespace {

std::vector<Note> allNotes;
VoiceSound before[kMaxVoices];
int sounding[kMaxVoices];  // index in allNotes of the voice's note, -1 when none

bool sameWay(VoiceSound a, VoiceSound b) {
    return a.sound == b.sound && (a.sound != Sound::Pitched || a.key == b.key);
}

}  // namespace

VoiceSound voiceSound(const VoiceRegisters& voice, uint32_t clock) {
    if (!(voice.control & kGate) || (voice.control & kTest) || !(voice.control & kWaveforms))
        return {Sound::Silent, 0};
    const Pitch pitch = pitchOf(voice.frequency, clock);
    if (!pitch.named) return {Sound::Silent, 0};
    return {voice.control & kNoise ? Sound::Percussion : Sound::Pitched, pitch.key};
}

void notesReset() {
    allNotes.clear();
    for (int v = 0; v < kMaxVoices; ++v) {
        before[v] = {Sound::Silent, 0};
        sounding[v] = -1;
    }
}

void notesAfterCall(uint32_t call, int voice, VoiceSound sound, bool retriggered) {
    const bool begins =
        sound.sound != Sound::Silent && (retriggered || !sameWay(sound, before[voice]));
    if (sounding[voice] >= 0 && (begins || sound.sound == Sound::Silent)) {
        allNotes[static_cast<size_t>(sounding[voice])].last = call - 1;
        sounding[voice] = -1;
    }
    if (begins) {
        sounding[voice] = static_cast<int>(allNotes.size());
        allNotes.push_back({static_cast<uint8_t>(voice), sound.sound == Sound::Percussion,
                            static_cast<uint8_t>(sound.key), call, call});
    }
    before[voice] = sound;
}

void notesFinish(uint32_t lastCall) {
    for (int v = 0; v < kMaxVoices; ++v) {
        if (sounding[v] >= 0) allNotes[static_cast<size_t>(sounding[v])].last = lastCall;
        sounding[v] = -1;
    }
}

const std::vector<Note>& notes() {
    return allNotes;
}
