#include "machine/memory_map.h"

#include <algorithm>
#include <cstring>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "machine/machine_state.h"

namespace {

constexpr uint16_t kRomBase = 0xE000;

void put(uint16_t address, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), machine.rom + (address - kRomBase));
}

uint8_t lo(uint16_t address) {
    return static_cast<uint8_t>(address);
}
uint8_t hi(uint16_t address) {
    return static_cast<uint8_t>(address >> 8);
}

// The system ROM: RTS wherever a tune might call a routine of the system
// (the jump table $FF81-$FFF3 among them), and the few routines that tunes
// rely on, as 6502 code.
void buildRom() {
    std::fill(std::begin(machine.rom), std::end(machine.rom), uint8_t{0x60});
    put(kIdleLoop, {0x58, 0x4C, lo(kIdleLoop + 1), hi(kIdleLoop + 1)});
    // IRQ entry: PHA, TXA, PHA, TYA, PHA, TSX, LDA $0104,X, AND #$10 (the
    // pushed break flag), BEQ +3, JMP ($0316), JMP ($0314).
    put(kIrqEntry, {0x48, 0x8A, 0x48, 0x98, 0x48, 0xBA, 0xBD, 0x04, 0x01, 0x29, 0x10, 0xF0, 0x03,
                    0x6C, 0x16, 0x03, 0x6C, 0x14, 0x03});
    put(kNmiEntry, {0x6C, 0x18, 0x03});
    // NMI handler: PHA, TXA, PHA, TYA, PHA, LDA $DD0D, JMP $FEBC.
    put(kNmiHandler,
        {0x48, 0x8A, 0x48, 0x98, 0x48, 0xAD, 0x0D, 0xDD, 0x4C, lo(kNmiReturn), hi(kNmiReturn)});
    // BRK: LDX #$FF, TXS, JMP to the idle loop.
    put(kBrkHandler, {0xA2, 0xFF, 0x9A, 0x4C, lo(kIdleLoop), hi(kIdleLoop)});
    // The system's IRQ handler: $EA31 advances the clock and reads the STOP
    // key (JSR $FFEA), then goes on to its end; tunes also enter it further
    // on (after its clock update, before its acknowledge), and NOPs lead from
    // there to the end (in about the time the system's keyboard scan takes).
    std::fill(machine.rom + (kIrqHandler + 3 - kRomBase),
              machine.rom + (kIrqAcknowledge - kRomBase), uint8_t{0xEA});
    put(kIrqHandler, {0x20, lo(kUpdateClockEntry), hi(kUpdateClockEntry)});
    // $FFEA: JMP to the clock update, which counts the jiffy clock up ($A2
    // its low byte, $A0 its high; it does not wrap at 24 hours) and leaves
    // $FF in $91, the STOP key's row with no key down: INC $A2, BNE, INC
    // $A1, BNE, INC $A0, LDA #$FF, STA $91, RTS.
    put(kUpdateClockEntry, {0x4C, lo(kUpdateClock), hi(kUpdateClock)});
    put(kUpdateClock,
        {0xE6, 0xA2, 0xD0, 0x06, 0xE6, 0xA1, 0xD0, 0x02, 0xE6, 0xA0, 0xA9, 0xFF, 0x85, 0x91, 0x60});
    // $FFDE reads the jiffy clock into A (low), X and Y (high) and goes on
    // into $FFDB's routine, which sets it from them and lets interrupts in
    // again: SEI, LDA $A2, LDX $A1, LDY $A0; SEI, STA $A2, STX $A1, STY $A0,
    // CLI, RTS. Tunes time their waits by it.
    put(kReadClockEntry, {0x4C, lo(kReadClock), hi(kReadClock)});
    put(kSetClockEntry, {0x4C, lo(kSetClock), hi(kSetClock)});
    put(kReadClock, {0x78, 0xA5, 0xA2, 0xA6, 0xA1, 0xA4, 0xA0});
    put(kSetClock, {0x78, 0x85, 0xA2, 0x86, 0xA1, 0x84, 0xA0, 0x58, 0x60});
    // The same for the NMI handler's body, around the BRK handler.
    std::fill(machine.rom + (kNmiHandler + 11 - kRomBase),
              machine.rom + (kBrkHandler - 4 - kRomBase), uint8_t{0xEA});
    put(kBrkHandler - 4, {0x4C, lo(kNmiReturn), hi(kNmiReturn), 0xEA});
    std::fill(machine.rom + (kBrkHandler + 6 - kRomBase), machine.rom + (kNmiReturn - kRomBase),
              uint8_t{0xEA});
    put(kIrqAcknowledge, {0xAD, 0x0D, 0xDC});  // LDA $DC0D, then on into $EA81
    put(kIrqReturn, {0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40});
    put(kNmiReturn, {0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40});
    put(0xFFFA,
        {lo(kNmiEntry), hi(kNmiEntry), lo(kIdleLoop), hi(kIdleLoop), lo(kIrqEntry), hi(kIrqEntry)});
}

// The bank lines: the port's outputs, 1 on its inputs.
uint8_t bankLines() {
    return static_cast<uint8_t>((cpu.memory[1] | ~cpu.memory[0]) & 7);
}

}  // namespace

void memoryMapStart() {
    buildRom();
    cpu.bus.ioRead = memoryMapRead;
    cpu.bus.ioWrite = memoryMapWrite;
    cpu.bus.portWrite = memoryMapPort;
    // RAM below $D000 whatever the bank register says (there is no BASIC image).
    for (unsigned page = 0; page < 0xD0; ++page)
        cpu.bus.readPage[page] = cpu.memory.data() + page * 256;
    // $D000-$FFFF for each value of the bank lines, so that a switch is a copy.
    for (unsigned lines = 0; lines < 8; ++lines) {
        const bool io = (lines & 4) && (lines & 3);
        const bool rom = (lines & 2) != 0;
        machine.ioSeen[lines] = io;
        for (unsigned page = 0xD0; page < 0x100; ++page) {
            const uint8_t* at = cpu.memory.data() + page * 256;
            if (page >= 0xE0 && rom) at = machine.rom + (page - 0xE0) * 256;
            if (page < 0xE0 && io) at = nullptr;
            machine.highPages[lines][page - 0xD0] = at;
        }
    }
    machine.bankLines = 0xFF;  // none yet: the first mapping maps everything
    memoryMapPort();
}

void memoryMapPort() {
    const uint8_t lines = bankLines();
    if (lines == machine.bankLines) return;  // most stores to $01 change nothing
    const bool wasIo = machine.bankLines < 8 && machine.ioSeen[machine.bankLines];
    machine.bankLines = lines;
    std::copy(std::begin(machine.highPages[lines]), std::end(machine.highPages[lines]),
              cpu.bus.readPage + 0xD0);
    const bool io = machine.ioSeen[lines];
    if (io == wasIo) return;
    for (unsigned page = 0xD0; page < 0xE0; ++page) {
        cpu.storeTraps[page] = static_cast<uint8_t>(io ? cpu.storeTraps[page] | kTrapIo
                                                       : cpu.storeTraps[page] & ~kTrapIo);
    }
}

uint8_t memoryPeek(uint16_t address) {
    const uint8_t* page = cpu.bus.readPage[address >> 8];
    return page != nullptr ? page[address & 0xFF] : cpu.memory[address];
}

uint8_t memoryMapRead(uint16_t address) {
    const uint64_t now = cpu.bus.now;
    switch (address >> 8) {
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3: return vicRead(machine.vic, address & 0x3F, now);
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7: return sidVoicesRead(machine.sid, now, static_cast<uint8_t>(address & 0x1F));
        case 0xD8:
        case 0xD9:
        case 0xDA:
        case 0xDB: return machine.colour[address & 0x3FF] & 0x0F;
        case 0xDC:
        case 0xDD: {
            Cia& cia = (address >> 8) == 0xDC ? machine.cia1 : machine.cia2;
            const uint8_t reg = address & 0x0F;
            if (reg == 0x0D) {
                // An interrupt raised since the lines were last looked at is
                // seen before the read clears it: CIA 2's edge makes an NMI
                // due, whatever the read then does.
                ciaAdvance(cia, now);
                machineUpdateLines();
            }
            const uint8_t value = ciaRead(cia, reg, now);
            if (reg == 0x0D) {  // acknowledged: the lines and the next event change
                machineUpdateLines();
                cpu.bus.nextEvent = 0;
            }
            return value;
        }
        default: return 0;
    }
}

void memoryMapWrite(uint16_t address, uint8_t value) {
    const uint64_t now = cpu.bus.now;
    switch (address >> 8) {
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3: {
            const uint8_t reg = address & 0x3F;
            vicWrite(machine.vic, reg, value, now);
            if (reg == 0x11 || reg == 0x12 || reg == 0x19 || reg == 0x1A) {
                machineUpdateLines();
                cpu.bus.nextEvent = 0;
            }
            return;
        }
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7: {
            sidVoicesWrite(machine.sid, now, static_cast<uint8_t>(address & 0x1F), value);
            const uint64_t time = now - machine.callStart;
            machine.soundWrite(machine.soundContext,
                               static_cast<uint32_t>(std::min<uint64_t>(time, 0xFFFFFFFF)), address,
                               value);
            return;
        }
        case 0xD8:
        case 0xD9:
        case 0xDA:
        case 0xDB: machine.colour[address & 0x3FF] = value & 0x0F; return;
        case 0xDC:
        case 0xDD: {
            Cia& cia = (address >> 8) == 0xDC ? machine.cia1 : machine.cia2;
            const uint8_t reg = address & 0x0F;
            ciaWrite(cia, reg, value, now);
            if ((reg >= 0x04 && reg <= 0x07) || reg >= 0x0D) {
                machineUpdateLines();
                cpu.bus.nextEvent = 0;
            }
            return;
        }
        default: return;
    }
}
