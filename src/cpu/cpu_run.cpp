// The execution loop: fetch, charge the base cycles, dispatch.
#include <cstdint>

#include "cpu/core.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"

namespace {

inline uint8_t operandByte(const Core& k, const uint8_t* m) {
    return m[static_cast<uint16_t>(k.pc + 1)];
}

inline uint16_t operandWord(const Core& k, const uint8_t* m) {
    return static_cast<uint16_t>(m[static_cast<uint16_t>(k.pc + 1)] |
                                 m[static_cast<uint16_t>(k.pc + 2)] << 8);
}

// Effective addresses. Each moves pc past the instruction.
inline uint16_t addrZeroPage(Core& k, const uint8_t* m) {
    uint8_t address = operandByte(k, m);
    k.pc += 2;
    return address;
}
inline uint16_t addrZeroPageX(Core& k, const uint8_t* m) {
    uint8_t address = static_cast<uint8_t>(operandByte(k, m) + k.x);
    k.pc += 2;
    return address;
}
inline uint16_t addrZeroPageY(Core& k, const uint8_t* m) {
    uint8_t address = static_cast<uint8_t>(operandByte(k, m) + k.y);
    k.pc += 2;
    return address;
}
inline uint16_t addrAbsolute(Core& k, const uint8_t* m) {
    uint16_t address = operandWord(k, m);
    k.pc += 3;
    return address;
}
inline uint16_t addrAbsoluteX(Core& k, const uint8_t* m) {
    uint16_t address = static_cast<uint16_t>(operandWord(k, m) + k.x);
    k.pc += 3;
    return address;
}
inline uint16_t addrAbsoluteY(Core& k, const uint8_t* m) {
    uint16_t address = static_cast<uint16_t>(operandWord(k, m) + k.y);
    k.pc += 3;
    return address;
}
// (zp,X): the pointer lies at zp + X, $0000 to $01FE, not wrapped to page zero.
inline uint16_t addrIndexedIndirect(Core& k, const uint8_t* m) {
    unsigned pointer = operandByte(k, m) + unsigned{k.x};
    k.pc += 2;
    return static_cast<uint16_t>(m[pointer] | m[pointer + 1] << 8);
}
// (zp),Y: a pointer at $FF takes its high byte from $0100.
inline uint16_t addrIndirectIndexed(Core& k, const uint8_t* m) {
    unsigned pointer = operandByte(k, m);
    k.pc += 2;
    return static_cast<uint16_t>((m[pointer] | m[pointer + 1] << 8) + k.y);
}

// Read fetches.
inline uint8_t fetchImmediate(Core& k, const uint8_t* m) {
    uint8_t value = operandByte(k, m);
    k.pc += 2;
    return value;
}
inline uint8_t fetchZeroPage(Core& k, const uint8_t* m) {
    return m[addrZeroPage(k, m)];
}
inline uint8_t fetchZeroPageX(Core& k, const uint8_t* m) {
    return m[addrZeroPageX(k, m)];
}
inline uint8_t fetchZeroPageY(Core& k, const uint8_t* m) {
    return m[addrZeroPageY(k, m)];
}
inline uint8_t fetchAbsolute(Core& k, const uint8_t* m) {
    return m[addrAbsolute(k, m)];
}
inline uint8_t fetchAbsoluteX(Core& k, const uint8_t* m) {
    return m[addrAbsoluteX(k, m)];
}
inline uint8_t fetchAbsoluteY(Core& k, const uint8_t* m) {
    return m[addrAbsoluteY(k, m)];
}
inline uint8_t fetchIndexedIndirect(Core& k, const uint8_t* m) {
    return m[addrIndexedIndirect(k, m)];
}
inline uint8_t fetchIndirectIndexed(Core& k, const uint8_t* m) {
    return m[addrIndirectIndexed(k, m)];
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

// memWrite, with the time stamp from the loop's count.
inline void store(Core& k, uint8_t* m, uint16_t address, uint8_t value) {
    if (storeTraps[address >> 8]) [[unlikely]] {
        cpu.cycleTotal = static_cast<uint32_t>(k.cycles);
        cpuStoreTrapped(address, value);
    }
    m[address] = value;
}

// The stack lives in page one; a pull from the empty stack yields 0.
inline void stackPush(Core& k, uint8_t* m, uint8_t value) {
    uint16_t address = static_cast<uint16_t>(0x100 + k.sp);
    if (storeTraps[1]) [[unlikely]]
        watchdogNoteStore(address);  // only kTrapWatch can be set
    m[address] = value;
    --k.sp;
}
inline uint8_t stackPull(Core& k, const uint8_t* m) {
    if (k.sp == 0xFF) return 0;
    ++k.sp;
    return m[0x100 + k.sp];
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

// Read-modify-write: the operand's address is remembered, and the result is
// written back there once.
template <uint8_t (*Op)(Core&, uint8_t)>
inline void modifyZeroPage(uint16_t address, Core& k, uint8_t* m) {
    cpu.lastZpAddress = static_cast<uint8_t>(address);
    store(k, m, address, Op(k, m[address]));
}
template <uint8_t (*Op)(Core&, uint8_t)>
inline void modifyAbsolute(uint16_t address, Core& k, uint8_t* m) {
    cpu.lastAbsAddress = address;
    store(k, m, address, Op(k, m[address]));
}

// Every instruction that can move pc anywhere but forward ends with this,
// given its own address: a backward move is where a loop can close. When the
// trigger says so, the loop stops and cpuRun lets the watchdog look at the
// state and at the cycle limit, then goes on (in the careful loop once the
// limit is near), so that the loop itself never checks the limit per
// instruction far from it.
#if VOXDUMP_WATCHDOG
#define CONTROL_TRANSFER(from)                                                           \
    if (k.pc <= (from) && watchdogWorthChecking(trigger, k.cycles, k.pc, k.x, k.y, k.a)) \
        [[unlikely]] {                                                                   \
        if constexpr (Stepping) --stepCount; /* this instruction is done */              \
        result = kRunCheck;                                                              \
        goto done;                                                                       \
    }
#else
#define CONTROL_TRANSFER(from) (void)(from)
#endif

#define BRANCH_IF(condition)                                                             \
    if (condition) {                                                                     \
        const uint16_t from = static_cast<uint16_t>(k.pc);                               \
        k.pc = static_cast<uint16_t>(from + 2 + static_cast<int8_t>(operandByte(k, m))); \
        CONTROL_TRANSFER(from);                                                          \
    } else {                                                                             \
        k.pc += 2;                                                                       \
    }                                                                                    \
    break

// The loop stopped for the watchdog to look at the state (cpuRun calls it
// outside the loop, so that the loop's registers never have to survive a call
// there) and is to go on afterwards.
constexpr int kRunCheck = 3;

// A documented opcode's case. The careful loop has charged the cycles from
// opcodeCycles already, to check the limit first; elsewhere each case adds
// its own count (the same value, reset fills opcodeCycles from kBaseCycles),
// which keeps the table's address out of the loop's registers.
#define OPCODE(value) \
    case value:       \
        if constexpr (!Careful) k.cycles += kBaseCycles[value];

template <bool Stepping, bool Careful>
int runLoop(uint16_t stepCount, uint64_t cyclesSoFar, uint16_t& stepsLeft) {
    cpu.cycleTotal = static_cast<uint32_t>(cyclesSoFar);
    Core k;
    loadCore(k);
    uint8_t* const m = cpu.memory.data();
    const uint8_t* const cycles = cpu.opcodeCycles.data();
#if VOXDUMP_WATCHDOG
    const uint64_t budget = kCycleLimit - watchdog.routineCycles;
    const WatchdogTrigger trigger = watchdogTrigger();
#endif
    int result;

    for (;;) {
        const uint8_t opcode = m[k.pc];
#if VOXDUMP_WATCHDOG
        if constexpr (Careful) {
            if (k.cycles + cycles[opcode] > budget) [[unlikely]] {
                watchdogStop(StopReason::CycleLimit, static_cast<uint16_t>(k.pc), opcode);
                result = kRunStopped;
                goto done;
            }
        }
#endif
        if constexpr (Careful) k.cycles += cycles[opcode];

        // clang-format off
        switch (opcode) {
            OPCODE(0x00) result = kRunReachedBrk; goto done;

            // Loads
            OPCODE(0xA9) setNZ(k, k.a = fetchImmediate(k, m)); break;
            OPCODE(0xA5) setNZ(k, k.a = fetchZeroPage(k, m)); break;
            OPCODE(0xB5) setNZ(k, k.a = fetchZeroPageX(k, m)); break;
            OPCODE(0xAD) setNZ(k, k.a = fetchAbsolute(k, m)); break;
            OPCODE(0xBD) setNZ(k, k.a = fetchAbsoluteX(k, m)); break;
            OPCODE(0xB9) setNZ(k, k.a = fetchAbsoluteY(k, m)); break;
            OPCODE(0xA1) setNZ(k, k.a = fetchIndexedIndirect(k, m)); break;
            OPCODE(0xB1) setNZ(k, k.a = fetchIndirectIndexed(k, m)); break;
            OPCODE(0xA2) setNZ(k, k.x = fetchImmediate(k, m)); break;
            OPCODE(0xA6) setNZ(k, k.x = fetchZeroPage(k, m)); break;
            OPCODE(0xB6) setNZ(k, k.x = fetchZeroPageY(k, m)); break;
            OPCODE(0xAE) setNZ(k, k.x = fetchAbsolute(k, m)); break;
            OPCODE(0xBE) setNZ(k, k.x = fetchAbsoluteY(k, m)); break;
            OPCODE(0xA0) setNZ(k, k.y = fetchImmediate(k, m)); break;
            OPCODE(0xA4) setNZ(k, k.y = fetchZeroPage(k, m)); break;
            OPCODE(0xB4) setNZ(k, k.y = fetchZeroPageX(k, m)); break;
            OPCODE(0xAC) setNZ(k, k.y = fetchAbsolute(k, m)); break;
            OPCODE(0xBC) setNZ(k, k.y = fetchAbsoluteX(k, m)); break;

            // Stores
            OPCODE(0x85) store(k, m, addrZeroPage(k, m), k.a); break;
            OPCODE(0x95) store(k, m, addrZeroPageX(k, m), k.a); break;
            OPCODE(0x8D) store(k, m, addrAbsolute(k, m), k.a); break;
            OPCODE(0x9D) store(k, m, addrAbsoluteX(k, m), k.a); break;
            OPCODE(0x99) store(k, m, addrAbsoluteY(k, m), k.a); break;
            OPCODE(0x81) store(k, m, addrIndexedIndirect(k, m), k.a); break;
            OPCODE(0x91) store(k, m, addrIndirectIndexed(k, m), k.a); break;
            OPCODE(0x86) store(k, m, addrZeroPage(k, m), k.x); break;
            OPCODE(0x96) store(k, m, addrZeroPageY(k, m), k.x); break;
            OPCODE(0x8E) store(k, m, addrAbsolute(k, m), k.x); break;
            OPCODE(0x84) store(k, m, addrZeroPage(k, m), k.y); break;
            OPCODE(0x94) store(k, m, addrZeroPageX(k, m), k.y); break;
            OPCODE(0x8C) store(k, m, addrAbsolute(k, m), k.y); break;

            // Transfers
            OPCODE(0xAA) setNZ(k, k.x = k.a); ++k.pc; break;
            OPCODE(0xA8) setNZ(k, k.y = k.a); ++k.pc; break;
            OPCODE(0x8A) setNZ(k, k.a = k.x); ++k.pc; break;
            OPCODE(0x98) setNZ(k, k.a = k.y); ++k.pc; break;
            OPCODE(0xBA) setNZ(k, k.x = k.sp); ++k.pc; break;
            OPCODE(0x9A) k.sp = k.x; ++k.pc; break;

            // Stack
            OPCODE(0x48) stackPush(k, m, k.a); ++k.pc; break;
            OPCODE(0x08) stackPush(k, m, packStatus(k)); ++k.pc; break;
            OPCODE(0x68) setNZ(k, k.a = stackPull(k, m)); ++k.pc; break;
            OPCODE(0x28) unpackStatus(k, stackPull(k, m)); ++k.pc; break;

            // Logic
            OPCODE(0x29) setNZ(k, k.a &= fetchImmediate(k, m)); break;
            OPCODE(0x25) setNZ(k, k.a &= fetchZeroPage(k, m)); break;
            OPCODE(0x35) setNZ(k, k.a &= fetchZeroPageX(k, m)); break;
            OPCODE(0x2D) setNZ(k, k.a &= fetchAbsolute(k, m)); break;
            OPCODE(0x3D) setNZ(k, k.a &= fetchAbsoluteX(k, m)); break;
            OPCODE(0x39) setNZ(k, k.a &= fetchAbsoluteY(k, m)); break;
            OPCODE(0x21) setNZ(k, k.a &= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x31) setNZ(k, k.a &= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x09) setNZ(k, k.a |= fetchImmediate(k, m)); break;
            OPCODE(0x05) setNZ(k, k.a |= fetchZeroPage(k, m)); break;
            OPCODE(0x15) setNZ(k, k.a |= fetchZeroPageX(k, m)); break;
            OPCODE(0x0D) setNZ(k, k.a |= fetchAbsolute(k, m)); break;
            OPCODE(0x1D) setNZ(k, k.a |= fetchAbsoluteX(k, m)); break;
            OPCODE(0x19) setNZ(k, k.a |= fetchAbsoluteY(k, m)); break;
            OPCODE(0x01) setNZ(k, k.a |= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x11) setNZ(k, k.a |= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x49) setNZ(k, k.a ^= fetchImmediate(k, m)); break;
            OPCODE(0x45) setNZ(k, k.a ^= fetchZeroPage(k, m)); break;
            OPCODE(0x55) setNZ(k, k.a ^= fetchZeroPageX(k, m)); break;
            OPCODE(0x4D) setNZ(k, k.a ^= fetchAbsolute(k, m)); break;
            OPCODE(0x5D) setNZ(k, k.a ^= fetchAbsoluteX(k, m)); break;
            OPCODE(0x59) setNZ(k, k.a ^= fetchAbsoluteY(k, m)); break;
            OPCODE(0x41) setNZ(k, k.a ^= fetchIndexedIndirect(k, m)); break;
            OPCODE(0x51) setNZ(k, k.a ^= fetchIndirectIndexed(k, m)); break;
            OPCODE(0x24) bit(k, fetchZeroPage(k, m)); break;
            OPCODE(0x2C) bit(k, fetchAbsolute(k, m)); break;

            // Arithmetic
            OPCODE(0x69) adc(k, fetchImmediate(k, m)); break;
            OPCODE(0x65) adc(k, fetchZeroPage(k, m)); break;
            OPCODE(0x75) adc(k, fetchZeroPageX(k, m)); break;
            OPCODE(0x6D) adc(k, fetchAbsolute(k, m)); break;
            OPCODE(0x7D) adc(k, fetchAbsoluteX(k, m)); break;
            OPCODE(0x79) adc(k, fetchAbsoluteY(k, m)); break;
            OPCODE(0x61) adc(k, fetchIndexedIndirect(k, m)); break;
            OPCODE(0x71) adc(k, fetchIndirectIndexed(k, m)); break;
            OPCODE(0xE9) sbc(k, fetchImmediate(k, m)); break;
            OPCODE(0xE5) sbc(k, fetchZeroPage(k, m)); break;
            OPCODE(0xF5) sbc(k, fetchZeroPageX(k, m)); break;
            OPCODE(0xED) sbc(k, fetchAbsolute(k, m)); break;
            OPCODE(0xFD) sbc(k, fetchAbsoluteX(k, m)); break;
            OPCODE(0xF9) sbc(k, fetchAbsoluteY(k, m)); break;
            OPCODE(0xE1) sbc(k, fetchIndexedIndirect(k, m)); break;
            OPCODE(0xF1) sbc(k, fetchIndirectIndexed(k, m)); break;

            // Compares
            OPCODE(0xC9) compare(k, k.a, fetchImmediate(k, m)); break;
            OPCODE(0xC5) compare(k, k.a, fetchZeroPage(k, m)); break;
            OPCODE(0xD5) compare(k, k.a, fetchZeroPageX(k, m)); break;
            OPCODE(0xCD) compare(k, k.a, fetchAbsolute(k, m)); break;
            OPCODE(0xDD) compare(k, k.a, fetchAbsoluteX(k, m)); break;
            OPCODE(0xD9) compare(k, k.a, fetchAbsoluteY(k, m)); break;
            OPCODE(0xC1) compare(k, k.a, fetchIndexedIndirect(k, m)); break;
            OPCODE(0xD1) compare(k, k.a, fetchIndirectIndexed(k, m)); break;
            OPCODE(0xE0) compare(k, k.x, fetchImmediate(k, m)); break;
            OPCODE(0xE4) compare(k, k.x, fetchZeroPage(k, m)); break;
            OPCODE(0xEC) compare(k, k.x, fetchAbsolute(k, m)); break;
            OPCODE(0xC0) compare(k, k.y, fetchImmediate(k, m)); break;
            OPCODE(0xC4) compare(k, k.y, fetchZeroPage(k, m)); break;
            OPCODE(0xCC) compare(k, k.y, fetchAbsolute(k, m)); break;

            // Read-modify-write: one write back, of the new value.
            OPCODE(0x0A) k.a = asl(k, k.a); ++k.pc; break;
            OPCODE(0x06) modifyZeroPage<asl>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x16) modifyZeroPage<asl>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x0E) modifyAbsolute<asl>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x1E) modifyAbsolute<asl>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x4A) k.a = lsr(k, k.a); ++k.pc; break;
            OPCODE(0x46) modifyZeroPage<lsr>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x56) modifyZeroPage<lsr>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x4E) modifyAbsolute<lsr>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x5E) modifyAbsolute<lsr>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x2A) k.a = rol(k, k.a); ++k.pc; break;
            OPCODE(0x26) modifyZeroPage<rol>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x36) modifyZeroPage<rol>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x2E) modifyAbsolute<rol>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x3E) modifyAbsolute<rol>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0x6A) k.a = ror(k, k.a); ++k.pc; break;
            OPCODE(0x66) modifyZeroPage<ror>(addrZeroPage(k, m), k, m); break;
            OPCODE(0x76) modifyZeroPage<ror>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0x6E) modifyAbsolute<ror>(addrAbsolute(k, m), k, m); break;
            OPCODE(0x7E) modifyAbsolute<ror>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xE6) modifyZeroPage<inc>(addrZeroPage(k, m), k, m); break;
            OPCODE(0xF6) modifyZeroPage<inc>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0xEE) modifyAbsolute<inc>(addrAbsolute(k, m), k, m); break;
            OPCODE(0xFE) modifyAbsolute<inc>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xC6) modifyZeroPage<dec>(addrZeroPage(k, m), k, m); break;
            OPCODE(0xD6) modifyZeroPage<dec>(addrZeroPageX(k, m), k, m); break;
            OPCODE(0xCE) modifyAbsolute<dec>(addrAbsolute(k, m), k, m); break;
            OPCODE(0xDE) modifyAbsolute<dec>(addrAbsoluteX(k, m), k, m); break;
            OPCODE(0xE8) k.x = inc(k, k.x); ++k.pc; break;
            OPCODE(0xC8) k.y = inc(k, k.y); ++k.pc; break;
            OPCODE(0xCA) k.x = dec(k, k.x); ++k.pc; break;
            OPCODE(0x88) k.y = dec(k, k.y); ++k.pc; break;

            // Branches: base cycles only, taken or not.
            OPCODE(0x10) BRANCH_IF(!flagN(k));
            OPCODE(0x30) BRANCH_IF(flagN(k));
            OPCODE(0x50) BRANCH_IF(!k.v);
            OPCODE(0x70) BRANCH_IF(k.v);
            OPCODE(0x90) BRANCH_IF(!k.c);
            OPCODE(0xB0) BRANCH_IF(k.c);
            OPCODE(0xD0) BRANCH_IF(!flagZ(k));
            OPCODE(0xF0) BRANCH_IF(flagZ(k));

            // Jumps, calls and returns
            OPCODE(0x4C) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                k.pc = operandWord(k, m);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x6C) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint16_t pointer = operandWord(k, m);
                k.pc =
                    static_cast<uint16_t>(m[pointer] | m[static_cast<uint16_t>(pointer + 1)] << 8);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x20) {
                // The return address pushed is that of the JSR's last byte; the
                // target is read after the pushes.
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint16_t last = static_cast<uint16_t>(from + 2);
                stackPush(k, m, static_cast<uint8_t>(last >> 8));
                stackPush(k, m, static_cast<uint8_t>(last));
                k.pc = operandWord(k, m);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x60) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                uint8_t lo = stackPull(k, m);
                uint8_t hi = stackPull(k, m);
                k.pc = static_cast<uint16_t>((hi << 8 | lo) + 1);
                CONTROL_TRANSFER(from);
                break;
            }
            OPCODE(0x40) {
                const uint16_t from = static_cast<uint16_t>(k.pc);
                unpackStatus(k, stackPull(k, m));
                uint8_t lo = stackPull(k, m);
                uint8_t hi = stackPull(k, m);
                k.pc = static_cast<uint16_t>(hi << 8 | lo);
                CONTROL_TRANSFER(from);
                break;
            }

            // Flags
            OPCODE(0x18) k.c = 0; ++k.pc; break;
            OPCODE(0x38) k.c = 1; ++k.pc; break;
            OPCODE(0xD8) k.d = 0; ++k.pc; break;
            OPCODE(0xF8) k.d = 1; ++k.pc; break;
            OPCODE(0x58) k.i = 0; ++k.pc; break;
            OPCODE(0x78) k.i = 1; ++k.pc; break;
            OPCODE(0xB8) k.v = 0; ++k.pc; break;
            OPCODE(0xEA) ++k.pc; break;

            // The opcodes outside the documented set.
            case 0x02: case 0x03: case 0x04: case 0x07: case 0x0B: case 0x0C: case 0x0F: case 0x12: case 0x13: case 0x14:
            case 0x17: case 0x1A: case 0x1B: case 0x1C: case 0x1F: case 0x22: case 0x23: case 0x27: case 0x2B: case 0x2F:
            case 0x32: case 0x33: case 0x34: case 0x37: case 0x3A: case 0x3B: case 0x3C: case 0x3F: case 0x42: case 0x43:
            case 0x44: case 0x47: case 0x4B: case 0x4F: case 0x52: case 0x53: case 0x54: case 0x57: case 0x5A: case 0x5B:
            case 0x5C: case 0x5F: case 0x62: case 0x63: case 0x64: case 0x67: case 0x6B: case 0x6F: case 0x72: case 0x73:
            case 0x74: case 0x77: case 0x7A: case 0x7B: case 0x7C: case 0x7F: case 0x80: case 0x82: case 0x83: case 0x87:
            case 0x89: case 0x8B: case 0x8F: case 0x92: case 0x93: case 0x97: case 0x9B: case 0x9C: case 0x9E: case 0x9F:
            case 0xA3: case 0xA7: case 0xAB: case 0xAF: case 0xB2: case 0xB3: case 0xB7: case 0xBB: case 0xBF: case 0xC2:
            case 0xC3: case 0xC7: case 0xCB: case 0xCF: case 0xD2: case 0xD3: case 0xD4: case 0xD7: case 0xDA: case 0xDB:
            case 0xDC: case 0xDF: case 0xE2: case 0xE3: case 0xE7: case 0xEB: case 0xEF: case 0xF2: case 0xF3: case 0xF4:
            case 0xF7: case 0xFA: case 0xFB: case 0xFC: case 0xFF:
                if (k.pc > 0xFFFF) {
                    // Execution ran on past $FFFF into the guard bytes: it
                    // continues at $0000, which is a move backward.
                    k.pc -= 0x10000;
                    CONTROL_TRANSFER(0xFFFF);
                    continue;
                }
                // An undocumented opcode changes nothing and would be fetched
                // again for ever.
                watchdogStop(StopReason::UndocumentedOpcode, static_cast<uint16_t>(k.pc), m[k.pc]);
                result = kRunStopped;
                goto done;
            default: __builtin_unreachable();  // every value has its case
        }
        // clang-format on
        if constexpr (Stepping) {
            if (k.pc > 0xFFFF) {  // wrapped here, as the guard bytes do for the other loops
                k.pc -= 0x10000;
                CONTROL_TRANSFER(0xFFFF);
            }
            if (--stepCount == 0) {
                result = kRunStepsDone;
                goto done;
            }
        }
    }

done:
    storeCore(k);
    stepsLeft = stepCount;
    return result;
}

}  // namespace

int cpuRun(uint16_t stepCount) {
    const bool stepping = stepCount != 0;
#if VOXDUMP_WATCHDOG
    // Near the cycle limit, the careful loop checks it before every instruction.
    bool careful = stepping || !watchdogFarFromCycleLimit();
#else
    const bool careful = stepping;
#endif
    int result;
    uint64_t cyclesSoFar = 0;
    for (;;) {
        result = stepping  ? runLoop<true, true>(stepCount, cyclesSoFar, stepCount)
                 : careful ? runLoop<false, true>(stepCount, cyclesSoFar, stepCount)
                           : runLoop<false, false>(stepCount, cyclesSoFar, stepCount);
        cyclesSoFar = cpu.cycleTotal;
        if (result != kRunCheck) break;
#if VOXDUMP_WATCHDOG
        const WatchdogAction action =
            watchdogCheck(cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, statusByte(), cpu.cycleTotal);
        if (action == WatchdogAction::Stop) {
            result = kRunStopped;
            break;
        }
        if (action == WatchdogAction::NearCycleLimit) careful = true;
#endif
        if (stepping && stepCount == 0) {
            result = kRunStepsDone;
            break;
        }
    }
#if VOXDUMP_WATCHDOG
    watchdog.routineCycles += cpu.cycleTotal;
#endif
    return result;
}
