// Tunes with a known structure, for the song's length: a small player that
// writes, call by call, the sound chip's registers from a table, and at the
// table's end goes back to a loop point. Options make the machine's state
// repeat later than the music: a pass counter (the state's period holds
// several passes), a free-running 16-bit counter (the state never repeats
// within the run), and a pulse width swept from that counter.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "support/test_support.h"

struct MusicTune {
    // Per play call from call 1 on, the writes (register 0-24, value).
    std::vector<std::vector<std::pair<uint8_t, uint8_t>>> calls;
    size_t loopIndex = 0;  // the index in `calls` that the table goes back to
    bool freeCounter = false;
    bool sweep = false;       // pulse width low byte from the counter
    uint8_t statePasses = 1;  // passes in the state's period
};

// Voice 1 plays key `key` (MIDI) for `on` calls, then rests `off` calls:
// gate on (pulse) with the frequency in the first call, gate off after `on`.
void addNote(MusicTune& tune, int key, uint32_t on, uint32_t off);

// Rests `calls` calls.
void addRest(MusicTune& tune, uint32_t calls);

Bytes musicTuneFile(const MusicTune& tune);
