// The notes a voice plays, as a musician writes them, from the chip's state
// after each routine call and what the envelope generators made heard.
//
// A voice sounds in a call when it was heard in it (envelope.h: a waveform
// sounding, the volume not 0 and the envelope at or above the threshold at
// some moment of the call), its frequency is not 0 and its key 0 to 127.
// A sounding span begins in a call in which the voice sounds and did not in
// the call before, or in which a new attack began (its gate turned on, from
// off at the call's start or off and on within it, or its test bit set and
// released), and lasts up to the call before it falls silent or the next
// span begins: a note rings on in its release after the gate closes, and a
// melody played in the release is heard. Within a span, what the frequency
// does decides how it is written:
//  - a span whose first or second call has the noise waveform is one drum
//    hit (a drum table: noise, then a falling pitch), however long it rings
//    when the pitch after the noise falls two semitones a call or more; a
//    pitch that soon holds a key makes the noise a note's attack;
//  - arpeggios are chords (chords.h): one note per key, lasting the stretch,
//    and the few calls of the span before or after a chord belong to it;
//  - the rest holds pitched notes (pitched.h), which begin only where the
//    pitch moves to another key and stays there.
// Keys are taken after the tune's tuning: the offset from A = 440 Hz that
// its held notes share, found over all voices. Each pitched note keeps, per
// call, how far the register's pitch is from its key (its bend): the tuning,
// vibrato and slides. A note's loudness is the highest of its calls' (how
// loud the voice was heard, envelope.h).
#pragma once

#include <cstdint>
#include <vector>

#include "study/chip.h"
#include "study/pitch.h"
#include "study/pitched.h"
#include "study/thinning.h"

enum class NoteKind : uint8_t { Pitched, Chord, Drum };

struct Note {
    uint8_t voice;  // 0 to 8
    NoteKind kind;
    uint8_t key;           // pitched and chord notes
    uint8_t loudness;      // 1 to 255: level times volume / 15
    uint32_t first, last;  // routine calls, 0 being the start routine
    uint32_t bends;        // pitched notes: where NoteModel::bends() holds its first call's
    uint32_t end;          // the call up to which the files hold it (NoteModel::holdToRows)
};

// A voice's registers after a routine call, as the notes need them.
struct VoiceFrame {
    uint16_t frequency;
    uint8_t control;
    // A new attack in the call: the gate turned on (from off at the call's
    // start, or off and on within it), or the test bit set and released.
    bool attack;
};

// The notes of a run's voices, made from what they did call by call.
class NoteModel {
public:
    // Pitches are taken at `clock`; `voices`: of the chips.
    NoteModel(uint32_t clock, int voices);

    // Keeps at most `most` entries per voice (thinning.h): the notes are then
    // made of entries of 1, 2, 4... calls, each a note's first and last call
    // being its entry's first and last (the last at most the last call); the
    // bends are per entry. Before the first call.
    void bound(uint32_t most) { thinning_ = CallThinning(most); }
    // An entry of the lists stands for 2^shift calls.
    uint8_t shift() const { return thinning_.shift(); }

    // The voice's registers after routine call `call`; calls come in order. A
    // voice whose registers were not written in a call need not be told: it
    // stays as it was.
    void afterCall(uint32_t call, int voice, const VoiceFrame& frame);

    // How loud the voice was heard in routine call `call` (1 to 255; 0: not
    // heard), for every voice after every call, calls in order.
    void hearing(uint32_t call, int voice, uint8_t loudness);

    // The notes of the calls up to `lastCall` (the run is over there, or the notes
    // so far are wanted; calls may follow).
    void finish(uint32_t lastCall);

    // After finish: the voice was heard in routine call `call` (false for a
    // call after the last). No voice heard in a call is the tune's silence.
    bool heard(int voice, uint32_t call) const { return loudness(voice, call) != 0; }
    // How loud: 1 to 255, 0 when not heard.
    uint8_t loudness(int voice, uint32_t call) const;

    // A note is held in the files to the end of its last row (of `row` calls,
    // counted from its first call), but not into its voice's next note: the
    // gate-off of a hard restart, or a short release, then does not cut a row
    // into pieces of no musical length. Without a row length (0), to its last call.
    void holdToRows(uint32_t row);

    // The calls on which the voices' sounding spans begin (the gate's onsets,
    // not a legato or slide's), in order, each once.
    const std::vector<uint32_t>& onsets() const { return onsets_; }

    // Every note, by first call, then voice, then key.
    const std::vector<Note>& notes() const { return notes_; }

    // Per call of each pitched note, from its first to its last: the register's
    // pitch less the note's key, in thousandths of a key.
    const std::vector<int32_t>& bends() const { return bends_; }

    // The waveform (kTriangle, kSawtooth or kPulse) the voice's pitched notes
    // and chords use most, counted by the call; kPulse when they use none.
    uint8_t waveform(int voice) const { return waveform_[voice]; }

    // The tune's tuning: what its held notes are off A = 440 Hz, in thousandths
    // of a key (-500 to 500).
    int32_t tuning() const { return tuning_; }

private:
    // What a call of a voice sounds like.
    struct CallSound {
        bool sounds;
        bool noise;
        int32_t pitch;  // thousandths of a key; kNoPitch when silent
    };

    CallSound soundOf(const VoiceFrame& frame, bool heard);
    int32_t tuningOf() const;
    void addNote(uint8_t voice, NoteKind kind, int key, uint32_t first, uint32_t last);
    void addPitched(uint8_t voice, uint32_t first, const int32_t* tuned, size_t count);
    void addSpan(uint8_t voice, uint32_t first, uint32_t last);
    uint8_t mostUsedWaveform(int voice) const;
    uint32_t entryOf(uint32_t call);

    CallThinning thinning_;

    uint32_t clock_ = 0;
    int voices_ = 0;  // of the chips
    std::vector<VoiceFrame> frames_[kMaxVoices];
    std::vector<CallSound> sounds_[kMaxVoices];
    // Per call: how loud the voice was heard, 0 when it was not.
    std::vector<uint8_t> loudness_[kMaxVoices];
    std::vector<Note> notes_;
    std::vector<int32_t> bends_;
    int32_t tuning_ = 0;
    uint8_t waveform_[kMaxVoices] = {};
    uint32_t lastCall_ = 0;
    std::vector<uint32_t> onsets_;  // of the sounding spans
    // Working room, kept from span to span.
    std::vector<int32_t> tuned_;
    std::vector<int> keys_;
    PitchedFit fit_;
    PitchMemo pitches_;
};
