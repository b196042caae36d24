#include "study/study.h"

#include <type_traits>

#include "study/beat.h"
#include "study/midi.h"
#include "study/roll.h"

namespace {

// Writes a file made at the end in one piece and closes it.
bool writeWhole(OutputFile& file, const std::string& bytes) {
    outputBlock(file, bytes);
    return outputClose(file);
}

}  // namespace

// A run's Study is held by value (or moved where it is kept).
static_assert(std::is_move_constructible_v<Study> && std::is_move_assignable_v<Study>);

Study::Study(const TuneHeader& header, const StudyFiles& files, int song, Diagnostics* diagnostics)
    : files_(files), chips_(header), notes_(tuneClock(header), chips_.count() * kVoicesPerChip) {
    info_.ntsc = tuneIsNtsc(header);
    info_.clock = tuneClock(header);
    info_.name = tuneText(header.name);
    info_.author = tuneText(header.author);
    info_.copyright = tuneText(header.copyright);
    info_.song = song;
    info_.songs = header.songs;
    info_.chips = chips_.count();
    if (!files_.table.empty()) table_.emplace(files_.table, diagnostics);
    if (!files_.roll.empty()) outputOpenWhole(roll_, files_.roll, false, diagnostics);
    if (!files_.midi.empty()) outputOpenWhole(midi_, files_.midi, false, diagnostics);
}

void Study::setCalls(uint32_t calls, bool untilRepeat, uint32_t capSeconds) {
    info_.calls = calls;
    info_.untilRepeat = untilRepeat;
    info_.capSeconds = capSeconds;
}

void Study::store(uint32_t time, uint16_t address, uint8_t value) {
    const int chip = chips_.store(address, value);
    if (chip < 0) return;
    envelopes_.store(callBegins_ + time, chip, address & 0x1Fu, value);
    if ((address & 0x1F) == 24) digi_.store(chip, value);
}

void Study::beginCall(const CallRate& rate) {
    chips_.beginCall();
    envelopes_.beginCall();
    callBegins_ = runningCall_ == 0 ? 0 : rate.start(runningCall_);
}

void Study::endCall(uint32_t call, uint64_t cycles, const CallRate& rate) {
    envelopes_.endCall(rate.start(call + 1), info_.chips);
    ChipState chips[kMaxChips];
    for (int c = 0; c < info_.chips; ++c) chips[c] = chips_.state(c);
    uint8_t levels[kMaxVoices];
    for (int v = 0; v < info_.chips * kVoicesPerChip; ++v) levels[v] = envelopes_.level(v);
    if (table_) table_->writeCall(info_, call, cycles, chips, levels, rate);
    for (int v = 0; v < info_.chips * kVoicesPerChip; ++v) {
        notes_.hearing(call, v, envelopes_.loudness(v));
        // A voice none of whose registers was written stays as it was.
        if (call != 0 && !chips_.voiceWritten(v)) continue;
        const VoiceRegisters& voice = chips[v / kVoicesPerChip].voice[v % kVoicesPerChip];
        notes_.afterCall(
            call, v,
            {voice.frequency, voice.control, envelopes_.attacked(v) || chips_.retriggered(v)});
    }
    digi_.endCall(call);
    lastCall_ = call;
    runningCall_ = call + 1;
}

void Study::discard() {
    if (table_) table_->discard();
    outputDiscard(roll_);
    outputDiscard(midi_);
}

bool Study::close(const SongSpan& span, const std::string& closing, const CallRate& rate) {
    const bool cut = !span.wholeRun && span.endCall > 0 && span.endCall < lastCall_;
    const uint32_t last = cut ? span.endCall : lastCall_;
    notes_.finish(last);
    const std::vector<uint32_t>& onsets = notes_.onsets();
    const uint32_t row = rowLength(onsets, callsAScreen(info_.clock, rate.firstTempoPeriod()));
    notes_.holdToRows(row);
    info_.calls = last;
    info_.measuredRate = rate.measured();
    info_.loopCall = span.loopCall;
    info_.endCall = span.endCall <= last ? span.endCall : 0;
    uint8_t waveforms[kMaxVoices];
    for (int v = 0; v < kMaxVoices; ++v) waveforms[v] = notes_.waveform(v);
    bool written = true;
    if (table_) written = table_->close(closing, last) && written;
    if (!files_.roll.empty())
        written =
            writeWhole(roll_, rollPicture(info_, notes_.notes(), notes_.bends(), rate)) && written;
    if (!files_.midi.empty())
        written =
            writeWhole(midi_, midiFile(info_, notes_.notes(), notes_.bends(), row,
                                       rowPhase(onsets, row), rate.tempoPeriods(), waveforms)) &&
            written;
    return written;
}
