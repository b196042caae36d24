#include "study/digi.h"

#include "study/chip.h"

namespace {

struct Digi {
    uint8_t volume[kMaxChips];  // the level each chip's register holds now
    uint32_t changes;           // in the running call
    std::vector<uint8_t> calls;
};

thread_local Digi digi;

}  // namespace

void digiReset() {
    digi = Digi{};
}

void digiStore(int chip, uint8_t value) {
    const uint8_t level = value & 0x0F;
    if (level == digi.volume[chip]) return;
    digi.volume[chip] = level;
    ++digi.changes;
}

void digiEndCall(uint32_t call) {
    digi.calls.resize(call, 0);
    digi.calls.push_back(digi.changes >= kDigiChanges ? 1 : 0);
    digi.changes = 0;
}

const std::vector<uint8_t>& digiCalls() {
    return digi.calls;
}
