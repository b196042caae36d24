#include "study/table.h"

#include <cstring>
#include <string>

#include "output/output_file.h"
#include "study/pitch.h"

namespace {

OutputFile tableFile;
StudyInfo run;
ChipState previous[kMaxChips];

// Field widths of a line, after the call, cycles and time columns.
constexpr int kFrequencyWidth = 4, kNoteWidth = 8, kWaveWidth = 4, kGateWidth = 2, kByteWidth = 2,
              kPulseWidth = 3, kCutoffWidth = 3;

void pad(std::string& line, size_t size) {
    if (line.size() < size) line.append(size - line.size(), ' ');
}

void putNumber(std::string& line, uint32_t value, int width) {
    char text[16];
    const std::string digits(text, putDecimal(text, value, 1));
    if (static_cast<int>(digits.size()) < width) line.append(static_cast<size_t>(width) - digits.size(), ' ');
    line += digits;
}

// A field of `width` characters, or "." when it did not change.
void putField(std::string& line, const std::string& value, int width, bool changed) {
    const size_t start = line.size();
    line += changed ? value : ".";
    pad(line, start + static_cast<size_t>(width));
}

std::string hex(uint32_t value, int digits) {
    char text[8];
    return std::string(text, putHex(text, value, digits, false));
}

std::string noteText(uint16_t frequency) {
    const Pitch pitch = pitchOf(frequency, run.clock);
    if (!pitch.named) return "-";
    char text[16];
    char* at = putNoteName(text, pitch.key);
    *at++ = ' ';
    *at++ = pitch.cents < 0 ? '-' : '+';
    at = putDecimal(at, static_cast<uint32_t>(pitch.cents < 0 ? -pitch.cents : pitch.cents), 1);
    return std::string(text, at);
}

std::string waveText(uint8_t control) {
    static const char* const kNames[4] = {"tri", "saw", "pul", "noi"};
    std::string initials;
    int count = 0, last = 0;
    for (int k = 0; k < 4; ++k) {
        if (control & (0x10 << k)) {
            initials += kNames[k][0];
            ++count;
            last = k;
        }
    }
    return count == 0 ? "-" : count == 1 ? kNames[last] : initials;
}

std::string gateText(uint8_t control) {
    std::string text = control & kGate ? "1" : "0";
    if (control & kTest) text += 't';
    return text;
}

// mm:ss.ff: minutes, seconds and hundredths at the start of the call.
std::string timeText(uint32_t call) {
    const uint64_t hundredths = uint64_t{call} * 100 / static_cast<uint64_t>(run.callsPerSecond);
    const uint64_t seconds = hundredths / 100;
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(seconds / 60), 2);
    *at++ = ':';
    at = putDecimal(at, static_cast<uint32_t>(seconds % 60), 2);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(hundredths % 100), 2);
    return std::string(text, at);
}

std::string headerText() {
    std::string text = "voxdump table of " + run.name + "\n";
    text += "Author: " + run.author + "\n";
    text += "Copyright: " + run.copyright + "\n";
    text += "Song: " + std::to_string(run.song) +
            (run.songs >= 1 ? " of " + std::to_string(run.songs) : std::string()) + "\n";
    text += std::string("Clock: ") + (run.ntsc ? "NTSC, " : "PAL, ") + std::to_string(run.clock) +
            " Hz, " + std::to_string(run.callsPerSecond) + " calls a second\n";
    text += "Calls: the start routine (call 0) and " + std::to_string(run.calls) + " play calls\n";
    text += "Chips: " + std::to_string(run.chips) + " (voices 1-" +
            std::to_string(run.chips * kVoicesPerChip) + ")\n";
    text +=
        "\n"
        "Each line is the sound chips' state at the end of a routine call; \".\" marks a value\n"
        "that did not change since the call before.\n"
        "  call    routine call, 0 being the start routine\n"
        "  cycles  the call's cycles\n"
        "  time    mm:ss.ff, minutes, seconds and hundredths when the call begins\n"
        "  per voice:\n"
        "  freq    frequency register (hex)\n"
        "  note    its note and cents (\"-\" when it has none)\n"
        "  wave    waveform: tri, saw, pul, noi, or the initials of several (tp: tri+pul)\n"
        "  g       gate bit, 1 or 0, with t when the test bit is set\n"
        "  ad sr   attack/decay and sustain/release (hex)\n"
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
            fields += "  freq note     wave g  ad sr pw ";
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

void tableOpen(const std::string& fileName, const StudyInfo& info) {
    run = info;
    outputOpen(tableFile, fileName);
    outputLines(tableFile, headerText());
}

void tableWriteCall(uint32_t call, uint64_t cycles, const ChipState* chips) {
    std::string line;
    line.reserve(160);
    putNumber(line, call, 5);
    line += ' ';
    putNumber(line, static_cast<uint32_t>(cycles), 6);
    line += ' ';
    line += timeText(call);
    const bool all = call == 0;
    for (int c = 0; c < run.chips; ++c) {
        const ChipState& now = chips[c];
        const ChipState& was = previous[c];
        for (int v = 0; v < kVoicesPerChip; ++v) {
            const VoiceRegisters& a = now.voice[v];
            const VoiceRegisters& b = was.voice[v];
            const bool frequency = all || a.frequency != b.frequency;
            line += "  ";
            putField(line, hex(a.frequency, 4), kFrequencyWidth, frequency);
            line += ' ';
            putField(line, noteText(a.frequency), kNoteWidth, frequency);
            line += ' ';
            putField(line, waveText(a.control), kWaveWidth,
                     all || ((a.control ^ b.control) & kWaveforms));
            line += ' ';
            putField(line, gateText(a.control), kGateWidth,
                     all || ((a.control ^ b.control) & (kGate | kTest)));
            line += ' ';
            putField(line, hex(a.attackDecay, 2), kByteWidth,
                     all || a.attackDecay != b.attackDecay);
            line += ' ';
            putField(line, hex(a.sustainRelease, 2), kByteWidth,
                     all || a.sustainRelease != b.sustainRelease);
            line += ' ';
            putField(line, hex(a.pulseWidth, 3), kPulseWidth, all || a.pulseWidth != b.pulseWidth);
        }
        line += "  ";
        putField(line, hex(now.cutoff, 3), kCutoffWidth, all || now.cutoff != was.cutoff);
        line += ' ';
        putField(line, hex(now.resonanceRouting, 2), kByteWidth,
                 all || now.resonanceRouting != was.resonanceRouting);
        line += ' ';
        putField(line, hex(now.modeVolume, 2), kByteWidth, all || now.modeVolume != was.modeVolume);
        previous[c] = now;
    }
    while (line.back() == ' ') line.pop_back();
    line += '\n';
    outputLine(tableFile, line.data(), line.size());
}

bool tableClose() {
    return outputClose(tableFile);
}
