#include "study/table.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "output/output_file.h"
#include "study/pitch.h"

namespace {

// Field widths of a line, after the call, cycles and time columns.
constexpr int kFrequencyWidth = 4, kNoteWidth = 8, kWaveWidth = 4, kGateWidth = 2, kByteWidth = 2,
              kLevelWidth = 3, kPulseWidth = 3, kCutoffWidth = 3;

void pad(std::string& line, size_t size) {
    if (line.size() < size) line.append(size - line.size(), ' ');
}

// Field writers: each writes its value at `at` into a line already filled
// with spaces, and only when it changed ("." otherwise).
void hexField(char* at, bool changed, uint32_t value, int digits) {
    if (changed) {
        putHex(at, value, digits, false);
    } else {
        *at = '.';
    }
}

void twoDigits(char* at, uint32_t value) {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

// A number right-aligned in `width` characters (wider when it needs it).
char* number(char* at, uint64_t value, int width) {
    char text[24];
    char* end = text;
    do {
        *end++ = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    at += std::max(0, width - static_cast<int>(end - text));
    while (end > text) *at++ = *--end;
    return at;
}

void noteField(char* at, const Pitch& pitch) {
    if (!pitch.named) {
        *at = '-';
        return;
    }
    at = putNoteName(at, pitch.key) + 1;
    *at++ = pitch.cents < 0 ? '-' : '+';
    putDecimal(at, static_cast<uint32_t>(pitch.cents < 0 ? -pitch.cents : pitch.cents), 1);
}

void waveField(char* at, uint8_t control) {
    static const char* const kNames[4] = {"tri", "saw", "pul", "noi"};
    const unsigned waves = control >> 4;
    if (waves == 0) {
        *at = '-';
    } else if ((waves & (waves - 1)) == 0) {  // one alone: its name
        std::memcpy(at, kNames[waves == 1 ? 0 : waves == 2 ? 1 : waves == 4 ? 2 : 3], 3);
    } else {  // several: their initials
        for (int k = 0; k < 4; ++k) {
            if (waves & (1u << k)) *at++ = kNames[k][0];
        }
    }
}

// mm:ss.ff: minutes, seconds and hundredths (cut) at the start of the call.
char* timeField(char* at, uint64_t start, uint32_t clock) {
    const uint64_t hundredths = start * 100 / clock;
    const uint64_t seconds = hundredths / 100;
    if (seconds / 60 < 100) {
        twoDigits(at, static_cast<uint32_t>(seconds / 60));
        at += 2;
    } else {
        at = putDecimal(at, static_cast<uint32_t>(seconds / 60), 2);
    }
    *at++ = ':';
    twoDigits(at, static_cast<uint32_t>(seconds % 60));
    at[2] = '.';
    twoDigits(at + 3, static_cast<uint32_t>(hundredths % 100));
    return at + 5;
}

std::string headerText(const StudyInfo& run, const CallRate& rate) {
    // The header's texts are Latin-1; the table is UTF-8 text.
    std::string text = "voxdump table of " + utf8FromLatin1(run.name) + "\n";
    text += "Author: " + utf8FromLatin1(run.author) + "\n";
    text += "Copyright: " + utf8FromLatin1(run.copyright) + "\n";
    text += "Song: " + std::to_string(run.song) +
            (run.songs >= 1 ? " of " + std::to_string(run.songs) : std::string()) + "\n";
    text += std::string("Clock: ") + (run.ntsc ? "NTSC, " : "PAL, ") + std::to_string(run.clock) +
            " Hz, " + rate.text() + "\n";
    if (run.capSeconds != 0) {
        text += "Calls: the start routine (call 0) and the play calls of up to " +
                std::to_string(run.capSeconds / 60) + " minutes of the machine's time" +
                (run.untilRepeat ? ", until the song repeats\n" : "\n");
    } else {
        text += "Calls: the start routine (call 0) and " +
                std::string(run.untilRepeat ? "up to " : "") + std::to_string(run.calls) +
                " play calls" + (run.untilRepeat ? ", until the song repeats\n" : "\n");
    }
    text += "Chips: " + std::to_string(run.chips) + " (voices 1-" +
            std::to_string(run.chips * kVoicesPerChip) + ")\n";
    text +=
        "\n"
        "Each line is the sound chips' state at the end of a routine call; \".\" marks a value\n"
        "that did not change since the call before.\n"
        "  call    routine call, 0 being the start routine\n"
        "  cycles  the call's cycles\n"
        "  time    mm:ss.ff, minutes, seconds and hundredths when the call begins, each call\n" +
        std::string(rate.measured()
                        ? "          taking its cycles (from one interrupt to the next)\n"
                        : "          taking a period of the call rate (the start routine the "
                          "first)\n") +
        "  per voice:\n"
        "  freq    frequency register (hex)\n"
        "  note    its note and cents (\"-\" when it has none)\n"
        "  wave    waveform: tri, saw, pul, noi, or the initials of several (tp: tri+pul)\n"
        "  g       gate bit, 1 or 0, with t when the test bit is set\n"
        "  ad sr   attack/decay and sustain/release (hex)\n"
        "  env     the envelope's level at the end of the call (hex, 00 to ff): the\n"
        "          envelope generator as the chip runs it, from the gate and the rates\n"
        "  pw      pulse width (hex)\n"
        "  per chip:\n"
        "  cut     filter cutoff (hex, 11 bits)\n"
        "  rr      resonance and filter routing (register 23, hex)\n"
        "  mv      filter mode and volume (register 24, hex)\n"
        "\n";

    // Two lines of column names: the groups, then the fields.
    std::string groups, fields = " call cycles     time";
    groups.assign(fields.size(), ' ');
    for (int chip = 0; chip < run.chips; ++chip) {
        for (int v = 0; v < kVoicesPerChip; ++v) {
            const size_t start = fields.size() + 2;
            fields += "  freq note     wave g  ad sr env pw ";
            pad(groups, start);
            groups += "voice " + std::to_string(chip * kVoicesPerChip + v + 1);
        }
        const size_t start = fields.size() + 2;
        fields += "  cut rr mv";
        pad(groups, start);
        groups += run.chips > 1 ? "chip " + std::to_string(chip + 1) : std::string("filter");
    }
    while (fields.back() == ' ') fields.pop_back();
    return text + groups + "\n" + fields + "\n";
}

}  // namespace

TableWriter::TableWriter(const std::string& fileName, Diagnostics* diagnostics) {
    outputOpenWhole(file_, fileName, true, diagnostics);
}

void TableWriter::writeCall(const StudyInfo& info, uint32_t call, uint64_t cycles,
                            const ChipState* chips, const uint8_t* levels, const CallRate& rate) {
    if (call == 0) {
        run_ = info;
        outputLines(file_, headerText(run_, rate));
    }
    char line[64 + kMaxChips * 140];
    std::memset(line, ' ', 64 + static_cast<size_t>(run_.chips) * 140);
    char* at = number(line, call, 5) + 1;
    at = number(at, cycles, 6) + 1;
    at = timeField(at, rate.start(call), run_.clock);
    const bool all = call == 0;
    for (int c = 0; c < run_.chips; ++c) {
        const ChipState& now = chips[c];
        const ChipState& was = previous_[c];
        for (int v = 0; v < kVoicesPerChip; ++v) {
            const VoiceRegisters& a = now.voice[v];
            const VoiceRegisters& b = was.voice[v];
            at += 2;
            if (all || a.frequency != b.frequency) {
                putHex(at, a.frequency, 4, false);
                noteField(at + kFrequencyWidth + 1, pitches_.of(a.frequency, run_.clock));
            } else {
                at[0] = '.';
                at[kFrequencyWidth + 1] = '.';
            }
            at += kFrequencyWidth + 1 + kNoteWidth + 1;
            if (all || ((a.control ^ b.control) & kWaveforms)) {
                waveField(at, a.control);
            } else {
                *at = '.';
            }
            at += kWaveWidth + 1;
            if (all || ((a.control ^ b.control) & (kGate | kTest))) {
                at[0] = a.control & kGate ? '1' : '0';
                if (a.control & kTest) at[1] = 't';
            } else {
                *at = '.';
            }
            at += kGateWidth + 1;
            hexField(at, all || a.attackDecay != b.attackDecay, a.attackDecay, 2);
            at += kByteWidth + 1;
            hexField(at, all || a.sustainRelease != b.sustainRelease, a.sustainRelease, 2);
            at += kByteWidth + 1;
            const int voice = c * kVoicesPerChip + v;
            hexField(at, all || levels[voice] != previousLevels_[voice], levels[voice], 2);
            previousLevels_[voice] = levels[voice];
            at += kLevelWidth + 1;
            hexField(at, all || a.pulseWidth != b.pulseWidth, a.pulseWidth, 3);
            at += kPulseWidth;
        }
        at += 2;
        hexField(at, all || now.cutoff != was.cutoff, now.cutoff, 3);
        at += kCutoffWidth + 1;
        hexField(at, all || now.resonanceRouting != was.resonanceRouting, now.resonanceRouting, 2);
        at += kByteWidth + 1;
        hexField(at, all || now.modeVolume != was.modeVolume, now.modeVolume, 2);
        at += kByteWidth;
        previous_[c] = now;
    }
    while (at[-1] == ' ') --at;
    *at++ = '\n';
    outputLine(file_, line, static_cast<size_t>(at - line));
    if (ends_.size() == call) ends_.push_back(file_.written);
}

bool TableWriter::close(const std::string& closing, uint32_t lastCall) {
    if (lastCall + size_t{1} < ends_.size()) outputCut(file_, ends_[lastCall]);
    if (!closing.empty()) outputLines(file_, "\n" + closing + "\n");
    return outputClose(file_);
}

void TableWriter::discard() {
    outputDiscard(file_);
}
