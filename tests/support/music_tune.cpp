#include "support/music_tune.h"

#include <cmath>

namespace {

// Start ($1000): the table's address in $FB/$FC, the counters 0, volume 15,
// the envelope of voice 1 (attack 0, decay 0, sustain 15, release 0).
// Play ($1020): with flag 1 of $10F0, count $FD/$FE; with flag 2, pulse
// width low byte from $FD; then (register, value) pairs up to $FF, or $FE:
// back to the loop point ($10F1/$10F2), counting passes in $F9 modulo $10F3.
const char* const kStart =
    "a9 00 85 fb a9 11 85 fc a9 00 85 fd 85 fe 85 f9 a9 0f 8d 18 d4 a9 00 8d 05 d4 a9 f0 8d 06 "
    "d4 60";
const char* const kPlay =
    "ad f0 10 4a 90 06 e6 fd d0 02 e6 fe ad f0 10 29 02 f0 05 a5 fd 8d 02 d4 a0 00 b1 fb c9 ff "
    "f0 0e c9 fe f0 16 aa c8 b1 fb 9d 00 d4 c8 d0 ec c8 98 18 65 fb 85 fb 90 02 e6 fc 60 ad f1 "
    "10 85 fb ad f2 10 85 fc e6 f9 a5 f9 cd f3 10 d0 cb a9 00 85 f9 4c 38 10";

uint16_t frequencyOf(int key) {
    const double hertz = 440 * std::pow(2.0, (key - 69) / 12.0);
    return static_cast<uint16_t>(std::lround(hertz * 16777216 / 985248));
}

}  // namespace

void addNote(MusicTune& tune, int key, uint32_t on, uint32_t off) {
    const uint16_t f = frequencyOf(key);
    tune.calls.push_back(
        {{0, static_cast<uint8_t>(f)}, {1, static_cast<uint8_t>(f >> 8)}, {3, 8}, {4, 0x41}});
    for (uint32_t k = 1; k < on; ++k) tune.calls.emplace_back();
    tune.calls.push_back({{4, 0x40}});
    addRest(tune, off > 0 ? off - 1 : 0);
}

void addRest(MusicTune& tune, uint32_t calls) {
    for (uint32_t k = 0; k < calls; ++k) tune.calls.emplace_back();
}

Bytes musicTuneFile(const MusicTune& tune) {
    Bytes code = hexBytes(kStart);
    code.resize(0x20, 0);
    const Bytes play = hexBytes(kPlay);
    code.insert(code.end(), play.begin(), play.end());
    code.resize(0x100, 0);
    Bytes table;
    uint16_t loopAddress = 0x1100;
    for (size_t k = 0; k < tune.calls.size(); ++k) {
        if (k == tune.loopIndex) loopAddress = static_cast<uint16_t>(0x1100 + table.size());
        for (const auto& [reg, value] : tune.calls[k]) table.insert(table.end(), {reg, value});
        table.push_back(0xFF);
    }
    table.push_back(0xFE);
    code[0xF0] = static_cast<uint8_t>((tune.freeCounter ? 1 : 0) | (tune.sweep ? 2 : 0));
    code[0xF1] = static_cast<uint8_t>(loopAddress);
    code[0xF2] = static_cast<uint8_t>(loopAddress >> 8);
    code[0xF3] = tune.statePasses;
    code.insert(code.end(), table.begin(), table.end());
    return psidFile({.play = 0x1020, .name = "Structure", .data = code});
}
