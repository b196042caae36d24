// The 6502's addressing modes, flags and operations on the execution loop's
// register file, each moving pc past its instruction where it reads one.
#pragma once

#include <cstdint>

#include "cpu/bus.h"
#include "cpu/core.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"

// A store of the machine variant that is not a plain RAM store: to an I/O
// page, a trapped page or the processor port.
void cpuMachineStore(uint16_t address, uint8_t value);
// A read of the machine variant from an I/O page.
uint8_t cpuIoRead(uint16_t address);

namespace {

// The memory the loop works on: the flat image, through a pointer to it (M
// is uint8_t*), or a machine's memory map (M is MachineMemory), which reads
// through cpu.bus and has its RAM in the same image.
struct MachineMemory {
    uint8_t* ram;
    const uint8_t* const* pages;  // cpu.bus.readPage, its thread's address taken once
};

inline uint8_t readByte(const uint8_t* m, unsigned address) {
    return m[address];
}
inline uint8_t readByte(MachineMemory m, unsigned address) {
    const uint8_t* page = m.pages[(address >> 8) & 0xFF];
    if (page != nullptr) [[likely]]
        return page[address & 0xFF];
    return cpuIoRead(static_cast<uint16_t>(address));
}
// Page zero and the stack page (and the byte after them) are RAM in every map.
inline uint8_t readLow(const uint8_t* m, unsigned address) {
    return m[address];
}
inline uint8_t readLow(MachineMemory m, unsigned address) {
    return m.ram[address];
}
inline uint8_t* ramOf(uint8_t* m) {
    return m;
}
inline uint8_t* ramOf(MachineMemory m) {
    return m.ram;
}

// An instruction's byte `offset` (1 or 2) read at its own cycle, the
// fetch's plus `offset`, where an I/O chip sees it (code that runs through
// a timer's registers).
inline uint8_t operandAt(const uint8_t* m, unsigned address, unsigned) {
    return m[address];
}
inline uint8_t operandAt(MachineMemory m, unsigned address, unsigned offset) {
    const uint8_t* page = m.pages[(address >> 8) & 0xFF];
    if (page != nullptr) [[likely]]
        return page[address & 0xFF];
    const uint64_t end = cpu.bus.now;
    cpu.bus.now = cpu.bus.fetchAt + offset;
    const uint8_t value = cpuIoRead(static_cast<uint16_t>(address));
    cpu.bus.now = end;
    return value;
}

template <class M>
inline uint8_t operandByte(const Core& k, M m) {
    return operandAt(m, static_cast<uint16_t>(k.pc + 1), 1);
}

template <class M>
inline uint16_t operandWord(const Core& k, M m) {
    return static_cast<uint16_t>(operandAt(m, static_cast<uint16_t>(k.pc + 1), 1) |
                                 operandAt(m, static_cast<uint16_t>(k.pc + 2), 2) << 8);
}

// Effective addresses. Each moves pc past the instruction.
template <class M>
inline uint16_t addrZeroPage(Core& k, M m) {
    uint8_t address = operandByte(k, m);
    k.pc += 2;
    return address;
}
template <class M>
inline uint16_t addrZeroPageX(Core& k, M m) {
    uint8_t address = static_cast<uint8_t>(operandByte(k, m) + k.x);
    k.pc += 2;
    return address;
}
template <class M>
inline uint16_t addrZeroPageY(Core& k, M m) {
    uint8_t address = static_cast<uint8_t>(operandByte(k, m) + k.y);
    k.pc += 2;
    return address;
}
template <class M>
inline uint16_t addrAbsolute(Core& k, M m) {
    uint16_t address = operandWord(k, m);
    k.pc += 3;
    return address;
}
template <class M>
inline uint16_t addrAbsoluteX(Core& k, M m) {
    uint16_t address = static_cast<uint16_t>(operandWord(k, m) + k.x);
    k.pc += 3;
    return address;
}
template <class M>
inline uint16_t addrAbsoluteY(Core& k, M m) {
    uint16_t address = static_cast<uint16_t>(operandWord(k, m) + k.y);
    k.pc += 3;
    return address;
}
// (zp,X): the pointer lies at zp + X, $0000 to $01FE, not wrapped to page zero.
template <class M>
inline uint16_t addrIndexedIndirect(Core& k, M m) {
    unsigned pointer = operandByte(k, m) + unsigned{k.x};
    k.pc += 2;
    return static_cast<uint16_t>(readLow(m, pointer) | readLow(m, pointer + 1) << 8);
}
// (zp),Y: a pointer at $FF takes its high byte from $0100.
template <class M>
inline uint16_t addrIndirectIndexed(Core& k, M m) {
    unsigned pointer = operandByte(k, m);
    k.pc += 2;
    return static_cast<uint16_t>((readLow(m, pointer) | readLow(m, pointer + 1) << 8) + k.y);
}

// Read fetches.
template <class M>
inline uint8_t fetchImmediate(Core& k, M m) {
    uint8_t value = operandByte(k, m);
    k.pc += 2;
    return value;
}
template <class M>
inline uint8_t fetchZeroPage(Core& k, M m) {
    return readLow(m, addrZeroPage(k, m));
}
template <class M>
inline uint8_t fetchZeroPageX(Core& k, M m) {
    return readLow(m, addrZeroPageX(k, m));
}
template <class M>
inline uint8_t fetchZeroPageY(Core& k, M m) {
    return readLow(m, addrZeroPageY(k, m));
}
template <class M>
inline uint8_t fetchAbsolute(Core& k, M m) {
    return readByte(m, addrAbsolute(k, m));
}
template <class M>
inline uint8_t fetchAbsoluteX(Core& k, M m) {
    return readByte(m, addrAbsoluteX(k, m));
}
template <class M>
inline uint8_t fetchAbsoluteY(Core& k, M m) {
    return readByte(m, addrAbsoluteY(k, m));
}
template <class M>
inline uint8_t fetchIndexedIndirect(Core& k, M m) {
    return readByte(m, addrIndexedIndirect(k, m));
}
template <class M>
inline uint8_t fetchIndirectIndexed(Core& k, M m) {
    return readByte(m, addrIndirectIndexed(k, m));
}

// The machine's indexed reads: one cycle more when the index carries into
// the high byte (the 6502 reads the wrong page first), which the read of an
// I/O register sees too.
inline uint8_t readIndexed(Core& k, MachineMemory m, uint16_t base, uint8_t index) {
    const uint16_t address = static_cast<uint16_t>(base + index);
    if ((address ^ base) & 0xFF00) [[unlikely]] {
        ++k.cycles;
        cpu.bus.now = k.cycles;
    }
    return readByte(m, address);
}
inline uint8_t fetchAbsoluteX(Core& k, MachineMemory m) {
    const uint16_t base = operandWord(k, m);
    k.pc += 3;
    return readIndexed(k, m, base, k.x);
}
inline uint8_t fetchAbsoluteY(Core& k, MachineMemory m) {
    const uint16_t base = operandWord(k, m);
    k.pc += 3;
    return readIndexed(k, m, base, k.y);
}
inline uint8_t fetchIndirectIndexed(Core& k, MachineMemory m) {
    const unsigned pointer = operandByte(k, m);
    k.pc += 2;
    const auto base = static_cast<uint16_t>(readLow(m, pointer) | readLow(m, pointer + 1) << 8);
    return readIndexed(k, m, base, k.y);
}

inline uint8_t flagN(const Core& k) {
    return (k.nz & 0x180) != 0;
}
inline uint8_t flagZ(const Core& k) {
    return (k.nz & 0xFF) == 0;
}
inline uint32_t makeNz(unsigned n, unsigned z) {
    return (z ? 0u : 1u) | n << 8;
}

inline void loadCore(Core& k) {
    k.pc = cpu.pc;
    k.cycles = cpu.cycleTotal;
    k.a = cpu.a;
    k.x = cpu.x;
    k.y = cpu.y;
    k.sp = cpu.sp;
    k.c = cpu.c;
    k.v = cpu.v;
    k.d = cpu.d;
    k.i = cpu.i;
    k.b = cpu.b;
    k.nz = makeNz(cpu.n, cpu.z);
    k.traps = cpu.storeTraps.data();
}

inline void storeCore(const Core& k) {
    cpu.pc = static_cast<uint16_t>(k.pc);
    cpu.cycleTotal = static_cast<uint32_t>(k.cycles);
    cpu.a = k.a;
    cpu.x = k.x;
    cpu.y = k.y;
    cpu.sp = k.sp;
    cpu.c = k.c;
    cpu.v = k.v;
    cpu.d = k.d;
    cpu.i = k.i;
    cpu.b = k.b;
    cpu.n = flagN(k);
    cpu.z = flagZ(k);
}

// A store: a page with a trap goes to cpuStoreTrapped first, with the time
// stamp from the loop's count.
inline void store(Core& k, uint8_t* m, uint16_t address, uint8_t value) {
    if (k.traps[address >> 8]) [[unlikely]] {
        cpu.cycleTotal = static_cast<uint32_t>(k.cycles);
        cpuStoreTrapped(address, value);
    }
    m[address] = value;
}
// The machine's store: RAM, unless the page has a trap (I/O among them) or
// the address is the processor port's.
inline void store(Core& k, MachineMemory m, uint16_t address, uint8_t value) {
    if (k.traps[address >> 8] | (address < 2)) [[unlikely]] {
        cpuMachineStore(address, value);
        return;
    }
    m.ram[address] = value;
}

// A read-modify-write stores the new value; on the machine's I/O pages the
// 6502's first write, of the unchanged value, reaches the chip too.
inline void storeModified(Core& k, uint8_t* m, uint16_t address, uint8_t, uint8_t value) {
    store(k, m, address, value);
}
// The first write is a cycle before the instruction's end, the second at it.
inline void storeModified(Core& k, MachineMemory m, uint16_t address, uint8_t old, uint8_t value) {
    if (k.traps[address >> 8] & kTrapIo) {
        --cpu.bus.now;
        cpuMachineStore(address, old);
        ++cpu.bus.now;
    }
    store(k, m, address, value);
}

// The stack lives in page one; a pull from the empty stack yields 0.
template <class M>
inline void stackPush(Core& k, M m, uint8_t value) {
    uint16_t address = static_cast<uint16_t>(0x100 + k.sp);
    if (k.traps[1]) [[unlikely]]
        cpuPushTrapped(address);
    ramOf(m)[address] = value;
    --k.sp;
}
inline uint8_t stackPull(Core& k, const uint8_t* m) {
    if (k.sp == 0xFF) return 0;
    ++k.sp;
    return m[0x100 + k.sp];
}
// On the machine the stack pointer wraps, as the 6502's does.
inline uint8_t stackPull(Core& k, MachineMemory m) {
    ++k.sp;
    return m.ram[0x100 + k.sp];
}

inline void setNZ(Core& k, uint8_t value) {
    k.nz = value;
}

inline uint8_t packStatus(const Core& k) {
    return static_cast<uint8_t>(flagN(k) << 7 | k.v << 6 | k.b << 4 | k.d << 3 | k.i << 2 |
                                flagZ(k) << 1 | k.c);
}
inline void unpackStatus(Core& k, uint8_t status) {
    k.nz = makeNz(status >> 7, (status >> 1) & 1);
    k.v = (status >> 6) & 1;
    k.b = (status >> 4) & 1;
    k.d = (status >> 3) & 1;
    k.i = (status >> 2) & 1;
    k.c = status & 1;
}

inline void adc(Core& k, uint8_t value) {
    if (!k.d) {
        unsigned sum = unsigned{k.a} + value + k.c;
        k.c = static_cast<uint8_t>(sum >> 8);
        k.v = static_cast<uint8_t>(((~(k.a ^ value) & (k.a ^ sum)) >> 7) & 1);
        k.a = static_cast<uint8_t>(sum);
        setNZ(k, k.a);
        return;
    }
    unsigned sum = unsigned{k.a} + value + k.c;
    if ((k.a & 0x0Fu) + (value & 0x0Fu) + k.c > 9) sum += 6;
    k.nz = makeNz((sum >> 7) & 1, flagZ(k));
    k.v = static_cast<uint8_t>(((~(k.a ^ value) & (k.a ^ sum)) >> 7) & 1);
    if (sum > 0x99) {
        k.a = static_cast<uint8_t>(sum + 0x60);
        k.c = 1;
    } else {
        k.a = static_cast<uint8_t>(sum);
        k.c = 0;
    }
}

inline void sbc(Core& k, uint8_t value) {
    const unsigned borrow = 1u - k.c;
    if (!k.d) {
        int difference = int{k.a} - value - static_cast<int>(borrow);
        k.c = difference >= 0;
        k.v = static_cast<uint8_t>((((k.a ^ value) & (k.a ^ difference)) >> 7) & 1);
        k.a = static_cast<uint8_t>(difference);
        setNZ(k, k.a);
        return;
    }
    uint16_t difference = static_cast<uint16_t>(k.a - value - borrow);
    k.nz = makeNz((difference >> 7) & 1, flagZ(k));
    if ((k.a & 0x0Fu) < (value & 0x0Fu) + borrow)
        difference = static_cast<uint16_t>(difference - 6);
    k.v = static_cast<uint8_t>((((k.a ^ value) & (k.a ^ difference)) >> 7) & 1);
    if (difference > 0x99) {
        k.a = static_cast<uint8_t>(difference - 0x60);
        k.c = 0;
    } else {
        k.a = static_cast<uint8_t>(difference);
        k.c = 1;
    }
}

inline void bit(Core& k, uint8_t value) {
    k.nz = static_cast<uint32_t>(k.a & value) | (value & 0x80u) << 1;  // N from bit 8
    k.v = (value >> 6) & 1;
}

inline void compare(Core& k, uint8_t reg, uint8_t value) {
    k.c = reg >= value;
    setNZ(k, static_cast<uint8_t>(reg - value));
}

inline uint8_t asl(Core& k, uint8_t value) {
    k.c = value >> 7;
    uint8_t result = static_cast<uint8_t>(value << 1);
    setNZ(k, result);
    return result;
}
inline uint8_t lsr(Core& k, uint8_t value) {
    k.c = value & 1;
    uint8_t result = value >> 1;
    setNZ(k, result);
    return result;
}
inline uint8_t rol(Core& k, uint8_t value) {
    uint8_t result = static_cast<uint8_t>(value << 1 | k.c);
    k.c = value >> 7;
    setNZ(k, result);
    return result;
}
inline uint8_t ror(Core& k, uint8_t value) {
    uint8_t result = static_cast<uint8_t>(k.c << 7 | value >> 1);
    k.c = value & 1;
    setNZ(k, result);
    return result;
}
inline uint8_t inc(Core& k, uint8_t value) {
    uint8_t result = static_cast<uint8_t>(value + 1);
    setNZ(k, result);
    return result;
}
inline uint8_t dec(Core& k, uint8_t value) {
    uint8_t result = static_cast<uint8_t>(value - 1);
    setNZ(k, result);
    return result;
}

// Read-modify-write: the result is written back once.
template <uint8_t (*Op)(Core&, uint8_t), class M>
inline void modifyZeroPage(uint16_t address, Core& k, M m) {
    store(k, m, address, Op(k, readLow(m, address)));
}
template <uint8_t (*Op)(Core&, uint8_t), class M>
inline void modifyAbsolute(uint16_t address, Core& k, M m) {
    const uint8_t old = readByte(m, address);
    storeModified(k, m, address, old, Op(k, old));
}

// The NMOS 6502's undocumented instructions.

// Read-modify-write, then an operation of A with the new value (SLO: ASL
// then ORA, ..., ISC: INC then SBC). One write, of the new value.
template <uint8_t (*Op)(Core&, uint8_t), void (*Then)(Core&, uint8_t), class M>
inline void modifyThen(uint16_t address, Core& k, M m) {
    const uint8_t old = readByte(m, address);
    const uint8_t result = Op(k, old);
    storeModified(k, m, address, old, result);
    Then(k, result);
}
inline void ora(Core& k, uint8_t value) {
    setNZ(k, k.a |= value);
}
inline void andA(Core& k, uint8_t value) {
    setNZ(k, k.a &= value);
}
inline void eor(Core& k, uint8_t value) {
    setNZ(k, k.a ^= value);
}
inline void cmpA(Core& k, uint8_t value) {
    compare(k, k.a, value);
}

// ARR: AND, then ROR A, with flags of their own; in decimal mode the result
// is corrected digit by digit.
inline void arr(Core& k, uint8_t value) {
    const unsigned t = k.a & value;
    const unsigned r = (unsigned{k.c} << 7) | t >> 1;
    setNZ(k, static_cast<uint8_t>(r));
    if (!k.d) {
        k.a = static_cast<uint8_t>(r);
        k.c = (r >> 6) & 1;
        k.v = ((r >> 6) ^ (r >> 5)) & 1;
        return;
    }
    k.v = ((t ^ r) >> 6) & 1;
    unsigned result = r;
    if ((t & 0x0F) + (t & 1) > 5) result = (result & 0xF0) | ((result + 6) & 0x0F);
    k.c = (t & 0xF0) + (t & 0x10) > 0x50;
    if (k.c) result += 0x60;
    k.a = static_cast<uint8_t>(result);
}

// SHA, SHX, SHY and TAS store a register ANDed with the base address's high
// byte plus one; when the indexing crosses a page, that value also becomes
// the high byte of the address written.
template <class M>
inline void storeHighAnd(Core& k, M m, uint16_t base, uint8_t index, uint8_t reg) {
    uint16_t address = static_cast<uint16_t>(base + index);
    const uint8_t value = static_cast<uint8_t>(reg & ((base >> 8) + 1));
    if ((address ^ base) & 0xFF00) address = static_cast<uint16_t>(value << 8 | (address & 0xFF));
    store(k, m, address, value);
}
// The base of abs,X and abs,Y: the operand word.
template <class M>
inline uint16_t baseAbsolute(Core& k, M m) {
    const uint16_t base = operandWord(k, m);
    k.pc += 3;
    return base;
}
// The base of (zp),Y: the pointer's word, its high byte at zp + 1 unwrapped.
template <class M>
inline uint16_t baseIndirect(Core& k, M m) {
    const unsigned pointer = operandByte(k, m);
    k.pc += 2;
    return static_cast<uint16_t>(readLow(m, pointer) | readLow(m, pointer + 1) << 8);
}

}  // namespace
