// The processor's side of the machine variant: stores that are not plain RAM
// stores, and the interrupt sequence.
#include <cstdint>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"

void cpuMachineStore(uint16_t address, uint8_t value) {
    const uint8_t traps = cpu.storeTraps[address >> 8];
    if (traps & kTrapIo) {
        watchdog.ioSinceSave = true;
        cpu.bus.ioWrite(address, value);
        return;
    }
    if (traps) {
        cpu.cycleTotal = static_cast<uint32_t>(cpu.bus.now);
        cpuStoreTrapped(address, value);
    }
    cpu.memory[address] = value;
    if (address < 2) cpu.bus.portWrite();
}

uint8_t cpuIoRead(uint16_t address) {
    watchdog.ioSinceSave = true;
    return cpu.bus.ioRead(address);
}

namespace {

void push(uint8_t value) {
    const uint16_t address = static_cast<uint16_t>(0x100 + cpu.sp);
    if (cpu.storeTraps[1]) cpuPushTrapped(address);
    cpu.memory[address] = value;
    --cpu.sp;
}

}  // namespace

void cpuInterrupt(uint16_t vector) {
    push(static_cast<uint8_t>(cpu.pc >> 8));
    push(static_cast<uint8_t>(cpu.pc));
    push(static_cast<uint8_t>((statusByte() & ~0x10) | 0x20));
    cpu.i = 1;
    cpu.pc =
        static_cast<uint16_t>(busRead(vector) | busRead(static_cast<uint16_t>(vector + 1)) << 8);
    cpu.bus.now += 7;
}
