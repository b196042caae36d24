#include "sidlog/mem_write.h"

#include <iostream>

#include "cpu/cpu_state.h"

void WritePath::attach(bool bump) {
    count_ = 0;
    fromChip_ = false;
    cpuSetStoreHook(trapped, this);
    if (bump) cpuHookPage(kBumpAddress >> 8);
}

void WritePath::hookWindow() const {
    for (unsigned page = kSidFirst >> 8; page <= kSidLast >> 8; ++page)
        cpuHookPage(static_cast<uint8_t>(page));
}

void WritePath::listen(WindowListener listener) {
    if (count_ == kMaxListeners) return;
    listeners_[count_++] = listener;
    if (!fromChip_) hookWindow();
}

void WritePath::trapped(void* context, uint16_t address, uint8_t value) {
    const WritePath& path = *static_cast<const WritePath*>(context);
    if (address == kBumpAddress) {
        std::cout << "BUMP" << std::endl;
    } else if (inSidWindow(address) && !path.fromChip_) {
        path.sound(cpu.cycleTotal, address, value);
    }
}

void WritePath::fromChip() {
    fromChip_ = true;
    for (unsigned page = kSidFirst >> 8; page <= kSidLast >> 8; ++page)
        cpu.storeTraps[page] = static_cast<uint8_t>(cpu.storeTraps[page] & ~kTrapHook);
}

void WritePath::sound(uint32_t time, uint16_t address, uint8_t value) const {
    for (int k = 0; k < count_; ++k)
        listeners_[k].hear(listeners_[k].context, time, address, value);
}

void WritePath::soundOf(void* context, uint32_t time, uint16_t address, uint8_t value) {
    static_cast<const WritePath*>(context)->sound(time, address, value);
}

WindowListener storeCounter(uint64_t& count) {
    return {[](void* c, uint32_t, uint16_t, uint8_t) { ++*static_cast<uint64_t*>(c); }, &count};
}
