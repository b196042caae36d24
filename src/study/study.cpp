#include "study/study.h"

#include "output/output_file.h"
#include "song/call_rate.h"
#include "study/beat.h"
#include "study/chip.h"
#include "study/digi.h"
#include "study/envelope.h"
#include "study/midi.h"
#include "study/notes.h"
#include "study/pitch.h"
#include "study/roll.h"
#include "study/table.h"
#include "tune/tune.h"

namespace {

thread_local StudyFiles files;
thread_local StudyInfo info;
thread_local uint32_t lastCall = 0;
thread_local uint32_t runningCall = 0;         // the routine call the stores come from
thread_local uint64_t callBegins = 0;          // its start, in cycles from the run's
thread_local OutputFile rollFile, midiOutput;  // made whole when the run is over

// Writes a file made at the end in one piece and closes it.
bool writeWhole(OutputFile& file, const std::string& bytes) {
    outputBlock(file, bytes);
    return outputClose(file);
}

}  // namespace

void studyOpen(const TuneHeader& header, const StudyFiles& wanted, int song) {
    files = wanted;
    lastCall = 0;
    chipModelReset(header);
    envelopeReset();
    digiReset();
    runningCall = 0;
    info = StudyInfo{};
    info.ntsc = tuneIsNtsc(header);
    info.clock = tuneClock(header);
    notesReset(info.clock, chipCount() * kVoicesPerChip);
    info.name = tuneText(header.name);
    info.author = tuneText(header.author);
    info.copyright = tuneText(header.copyright);
    info.song = song;
    info.songs = header.songs;
    info.chips = chipCount();
    if (!files.table.empty()) tableOpen(files.table);
    if (!files.roll.empty()) outputOpen(rollFile, files.roll);
    if (!files.midi.empty()) outputOpen(midiOutput, files.midi);
}

void studySetCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds) {
    info.calls = calls;
    info.untilRepeat = untilRepeat;
    info.capSeconds = capSeconds;
}

void studyStore(uint32_t time, uint16_t address, uint8_t value) {
    const int chip = chipStore(address, value);
    if (chip < 0) return;
    envelopeStore(callBegins + time, chip, address & 0x1Fu, value);
    if ((address & 0x1F) == 24) digiStore(chip, value);
}

void studyBeginCall(const CallRate& rate) {
    chipBeginCall();
    envelopeBeginCall();
    callBegins = runningCall == 0 ? 0 : rate.start(runningCall);
}

void studyEndCall(uint32_t call, uint64_t cycles, const CallRate& rate) {
    envelopeEndCall(rate.start(call + 1), info.chips);
    ChipState chips[kMaxChips];
    for (int c = 0; c < info.chips; ++c) chips[c] = chipState(c);
    uint8_t levels[kMaxVoices];
    for (int v = 0; v < info.chips * kVoicesPerChip; ++v) levels[v] = envelopeLevel(v);
    if (!files.table.empty()) tableWriteCall(info, call, cycles, chips, levels, rate);
    for (int v = 0; v < info.chips * kVoicesPerChip; ++v) {
        notesHearing(call, v, envelopeLoudness(v));
        // A voice none of whose registers was written stays as it was.
        if (call != 0 && !chipVoiceWritten(v)) continue;
        const VoiceRegisters& voice = chips[v / kVoicesPerChip].voice[v % kVoicesPerChip];
        notesAfterCall(call, v,
                       {voice.frequency, voice.control, envelopeAttacked(v) || chipRetriggered(v)});
    }
    digiEndCall(call);
    lastCall = call;
    runningCall = call + 1;
}

bool studyClose(uint32_t loopCall, const std::string& closing, const CallRate& rate) {
    notesFinish(lastCall);
    const std::vector<uint32_t> onsets = notesOnsets();
    const uint32_t row = rowLength(onsets, callsAScreen(info.clock, rate.firstTempoPeriod()));
    notesHoldToRows(row);
    info.calls = lastCall;
    info.loopCall = loopCall;
    uint8_t waveforms[kMaxVoices];
    for (int v = 0; v < kMaxVoices; ++v) waveforms[v] = notesWaveform(v);
    bool written = true;
    if (!files.table.empty()) written = tableClose(closing) && written;
    if (!files.roll.empty())
        written = writeWhole(rollFile, rollPicture(info, notes(), noteBends(), rate)) && written;
    if (!files.midi.empty())
        written =
            writeWhole(midiOutput, midiFile(info, notes(), noteBends(), row, rowPhase(onsets, row),
                                            rate.tempoPeriods(), waveforms)) &&
            written;
    return written;
}
