#include "sidlog/mem_write.h"

#include <iostream>

void memWriteTrapped(uint16_t address, uint8_t value) {
    if (address == kBumpAddress) {
        std::cout << "BUMP" << std::endl;
    } else if (inSidWindow(address) && cpu.logEnabled) {
        sidLogWrite(cpu.cycleTotal, address, value);
    }
    watchdogNoteStore(address);
}
