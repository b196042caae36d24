#include "machine/cia.h"

#include <algorithm>

namespace {

constexpr uint8_t kIcr = 0x0D;
constexpr uint8_t kStart = 0x01;
constexpr uint8_t kOneShot = 0x08;
constexpr uint8_t kForceLoad = 0x10;
// Input modes: CNT for timer A; CNT, timer A's underflows, or these while
// CNT is high (which, with nothing on CNT, it is) for timer B.
constexpr uint8_t kInputMode[2] = {0x20, 0x60};
constexpr uint8_t kCountsA = 0x40;  // timer B counts timer A's underflows
constexpr uint8_t kControl[2] = {0x0E, 0x0F};

// Counts `ticks` down from the counter: the tick after 0 underflows and
// reloads (or, in one-shot mode, stops). Returns the underflows.
uint64_t countDown(CiaTimer& t, uint64_t ticks) {
    if (ticks <= t.counter) {
        t.counter = static_cast<uint16_t>(t.counter - ticks);
        return 0;
    }
    const uint64_t after = ticks - t.counter - 1;  // ticks since the first underflow
    if (t.oneShot) {
        t.counter = t.latch;
        t.running = false;
        return 1;
    }
    const uint64_t period = uint64_t{t.latch} + 1;
    t.counter = static_cast<uint16_t>(t.latch - after % period);
    return 1 + after / period;
}

// The cycle of timer A's n-th underflow from its state (n >= 1), or kNever.
uint64_t underflowOfA(const CiaTimer& a, uint64_t n) {
    if (!a.running || (a.oneShot && n > 1)) return kNever;
    return a.at + a.counter + 1 + (n - 1) * (uint64_t{a.latch} + 1);
}

}  // namespace

void ciaReset(Cia& cia) {
    cia = Cia{};
    for (CiaTimer& t : cia.timer) t.latch = t.counter = 0xFFFF;
}

void ciaAdvance(Cia& cia, uint64_t now) {
    uint64_t underflowsOfA = 0;
    for (int k = 0; k < 2; ++k) {
        CiaTimer& t = cia.timer[k];
        const uint64_t elapsed = now - t.at;
        t.at = now;
        if (!t.running) continue;
        const uint64_t ticks = k == 1 && cia.countsA ? underflowsOfA : elapsed;
        const uint64_t underflows = countDown(t, ticks);
        if (k == 0) underflowsOfA = underflows;
        if (underflows == 0) continue;
        cia.flags |= static_cast<uint8_t>(1 << k);
        if (cia.mask & (1 << k)) cia.raised = true;
        if (!t.running) cia.regs[kControl[k]] &= static_cast<uint8_t>(~kStart);
    }
}

uint8_t ciaRead(Cia& cia, uint8_t reg, uint64_t now) {
    ciaAdvance(cia, now);
    switch (reg) {
        case 0x00:  // the ports: what is output, 1 on the idle inputs
        case 0x01: return static_cast<uint8_t>(cia.regs[reg] | ~cia.regs[reg + 2]);
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07: {
            cia.counterRead = true;
            const uint16_t counter = cia.timer[(reg - 4) / 2].counter;
            return static_cast<uint8_t>(reg & 1 ? counter >> 8 : counter);
        }
        case kIcr: {
            const uint8_t value =
                static_cast<uint8_t>(cia.flags | (ciaInterrupting(cia) ? 0x80 : 0x00));
            cia.flags = 0;
            cia.raised = false;
            return value;
        }
        default: return cia.regs[reg];
    }
}

void ciaWrite(Cia& cia, uint8_t reg, uint8_t value, uint64_t now) {
    ciaAdvance(cia, now);
    switch (reg) {
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07: {
            CiaTimer& t = cia.timer[(reg - 4) / 2];
            t.latch = static_cast<uint16_t>(reg & 1 ? (t.latch & 0x00FF) | value << 8
                                                    : (t.latch & 0xFF00) | value);
            // The high byte written to a stopped timer loads it.
            if ((reg & 1) && !t.running) t.counter = t.latch;
            break;
        }
        case kIcr:
            if (value & 0x80) {
                cia.mask |= value & 0x1F;
                if (cia.flags & cia.mask) cia.raised = true;
            } else {
                cia.mask &= static_cast<uint8_t>(~value & 0x1F);
            }
            break;
        case 0x0E:
        case 0x0F: {
            const int k = reg - 0x0E;
            CiaTimer& t = cia.timer[k];
            if (value & kForceLoad) t.counter = t.latch;
            const uint8_t mode = value & kInputMode[k];
            t.running = (value & kStart) && (mode == 0 || (k == 1 && (mode & kCountsA)));
            t.oneShot = (value & kOneShot) != 0;
            if (k == 1) cia.countsA = (mode & kCountsA) != 0;
            cia.regs[reg] = static_cast<uint8_t>(value & ~kForceLoad);
            break;
        }
        default: cia.regs[reg] = value; break;
    }
}

uint64_t ciaNextInterrupt(const Cia& cia) {
    uint64_t next = kNever;
    for (int k = 0; k < 2; ++k) {
        const CiaTimer& t = cia.timer[k];
        const uint8_t bit = static_cast<uint8_t>(1 << k);
        if (!t.running || !(cia.mask & bit) || (cia.flags & bit)) continue;
        const bool counting = k == 0 || !cia.countsA;
        next = std::min(next, counting ? t.at + t.counter + 1
                                       : underflowOfA(cia.timer[0], uint64_t{t.counter} + 1));
    }
    return next;
}

bool ciaArmed(const Cia& cia) {
    if (ciaInterrupting(cia)) return true;
    for (int k = 0; k < 2; ++k) {
        const bool counts = k == 0 || !cia.countsA || cia.timer[0].running;
        if (cia.timer[k].running && counts && (cia.mask & (1 << k))) return true;
    }
    return false;
}
