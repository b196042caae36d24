#include "sidlog/mem_write.h"

#include <iostream>

namespace {

constexpr int kMaxListeners = 4;
thread_local WindowListener listeners[kMaxListeners];
thread_local int listenerCount = 0;
thread_local bool fromChip = false;

}  // namespace

void memWriteReset(bool bump) {
    listenerCount = 0;
    fromChip = false;
    cpuSetStoreHook(memWriteTrapped);
    if (bump) cpuHookPage(kBumpAddress >> 8);
}

void memWriteListen(WindowListener listener) {
    if (listenerCount == kMaxListeners) return;
    listeners[listenerCount++] = listener;
    if (fromChip) return;
    for (unsigned page = kSidFirst >> 8; page <= kSidLast >> 8; ++page)
        cpuHookPage(static_cast<uint8_t>(page));
}

void memWriteTrapped(uint16_t address, uint8_t value) {
    if (address == kBumpAddress) {
        std::cout << "BUMP" << std::endl;
    } else if (inSidWindow(address) && !fromChip) {
        for (int k = 0; k < listenerCount; ++k) listeners[k](cpu.cycleTotal, address, value);
    }
}

void memWriteFromChip() {
    fromChip = true;
    for (unsigned page = kSidFirst >> 8; page <= kSidLast >> 8; ++page)
        cpu.storeTraps[page] = static_cast<uint8_t>(cpu.storeTraps[page] & ~kTrapHook);
}

void memWriteSound(uint32_t time, uint16_t address, uint8_t value) {
    for (int k = 0; k < listenerCount; ++k) listeners[k](time, address, value);
}
