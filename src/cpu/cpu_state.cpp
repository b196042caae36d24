#include "cpu/cpu_state.h"

#include <algorithm>
#include <cstring>

#include "cpu/fingerprint.h"
#include "cpu/watchdog.h"

thread_local constinit CpuState cpu{};

namespace {

void ignoreStore(void*, uint16_t, uint8_t) {}

// No destructor: the hook may stay per thread.
thread_local constinit StoreHook storeHook = ignoreStore;
thread_local constinit void* storeContext = nullptr;

}  // namespace

void cpuReset() {
    std::fill_n(cpu.memory.begin(), kMemorySize, 0);
    std::fill_n(cpu.memory.begin() + kMemorySize, kGuardBytes, kGuardOpcode);
    cpu.pc = 0;
    cpu.a = cpu.x = cpu.y = 0;
    cpu.sp = 0xFF;
    cpu.n = cpu.v = cpu.b = cpu.d = cpu.i = cpu.z = cpu.c = 0;
    cpu.storeTraps.fill(0);
    storeHook = ignoreStore;
    storeContext = nullptr;
    cpu.opcodeCycles = kBaseCycles;
    cpu.undocumented = 0;
    watchdogSetCycleBudget(kCycleLimit);
    watchdogStartRoutine();
}

void cpuSetStoreHook(StoreHook hook, void* context) {
    storeHook = hook;
    storeContext = context;
}

void cpuHookPage(uint8_t page) {
    cpu.storeTraps[page] |= kTrapHook;
}

void cpuStoreTrapped(uint16_t address, uint8_t value) {
    if (cpu.storeTraps[address >> 8] & kTrapHook) storeHook(storeContext, address, value);
    cpuPushTrapped(address);
}

void cpuPushTrapped(uint16_t address) {
    const uint8_t page = static_cast<uint8_t>(address >> 8);
    if (cpu.storeTraps[page] & kTrapFingerprint) fingerprintNotePage(page);
    watchdogNoteStore(address);
}

void cpuSetUndocumented(bool on) {
    cpu.undocumented = on ? 1 : 0;
    cpu.opcodeCycles = on ? kAllCycles : kBaseCycles;
}

uint8_t* cpuMemory() {
    return cpu.memory.data();
}

void cpuLoad(const uint8_t* source, uint16_t address, uint16_t length) {
    // The copy never leaves the image: whatever would pass $FFFF is cut.
    size_t count = std::min<size_t>(length, kMemorySize - address);
    if (count == 0) return;
    for (size_t k = 0; k < count; k += 256) watchdogNoteStore(static_cast<uint16_t>(address + k));
    watchdogNoteStore(static_cast<uint16_t>(address + count - 1));
    std::memcpy(cpu.memory.data() + address, source, count);
}

void cpuSetPc(uint16_t address) {
    cpu.pc = address;
}

uint16_t cpuPc() {
    return cpu.pc;
}

uint8_t statusByte() {
    return static_cast<uint8_t>(cpu.n << 7 | cpu.v << 6 | cpu.b << 4 | cpu.d << 3 | cpu.i << 2 |
                                cpu.z << 1 | cpu.c);
}

void setStatusByte(uint8_t status) {
    cpu.n = (status >> 7) & 1;
    cpu.v = (status >> 6) & 1;
    cpu.b = (status >> 4) & 1;
    cpu.d = (status >> 3) & 1;
    cpu.i = (status >> 2) & 1;
    cpu.z = (status >> 1) & 1;
    cpu.c = status & 1;
}
