#include "machine/vic.h"

#include "machine/cia.h"

void vicReset(Vic& vic, bool ntsc) {
    vic = Vic{};
    vic.lineCycles = ntsc ? 65 : 63;
    vic.lines = ntsc ? 263 : 312;
    vic.checkedFrom = 1;  // the reset's own cycle matches nothing
}

uint32_t vicLine(const Vic& vic, uint64_t now) {
    return static_cast<uint32_t>(now / vic.lineCycles % vic.lines);
}

uint64_t vicNextMatch(const Vic& vic, uint64_t from) {
    if (vic.compare >= vic.lines) return kNever;
    const uint64_t first = uint64_t{vic.compare} * vic.lineCycles;
    if (from <= first) return first;
    const uint64_t frame = vicFrameCycles(vic);
    return first + (from - first + frame - 1) / frame * frame;
}

void vicAdvance(Vic& vic, uint64_t now) {
    if (now < vic.checkedFrom) return;
    if (vicNextMatch(vic, vic.checkedFrom) <= now) vic.flags |= 1;
    vic.checkedFrom = now + 1;
}

uint8_t vicRead(Vic& vic, uint8_t reg, uint64_t now) {
    switch (reg) {
        case 0x11:
            vic.rasterRead = true;
            return static_cast<uint8_t>((vic.regs[reg] & 0x7F) | (vicLine(vic, now) >> 1 & 0x80));
        case 0x12: vic.rasterRead = true; return static_cast<uint8_t>(vicLine(vic, now));
        case 0x16: return vic.regs[reg] | 0xC0;
        case 0x18: return vic.regs[reg] | 0x01;
        case 0x19:
            vicAdvance(vic, now);
            return static_cast<uint8_t>(vic.flags | 0x70 | (vicInterrupting(vic) ? 0x80 : 0));
        case 0x1A: return vic.enable | 0xF0;
        case 0x1E:
        case 0x1F: return 0;  // no sprite collides
        default:
            if (reg >= 0x2F) return 0xFF;
            if (reg >= 0x20) return vic.regs[reg] | 0xF0;
            return vic.regs[reg];
    }
}

void vicWrite(Vic& vic, uint8_t reg, uint8_t value, uint64_t now) {
    vicAdvance(vic, now);
    switch (reg) {
        case 0x11:
            vic.regs[reg] = value;
            vic.compare = static_cast<uint16_t>((vic.compare & 0xFF) | (value & 0x80) << 1);
            break;
        case 0x12: vic.compare = static_cast<uint16_t>((vic.compare & 0x100) | value); break;
        case 0x19: vic.flags &= static_cast<uint8_t>(~value & 0x0F); break;
        case 0x1A: vic.enable = value & 0x0F; break;
        default: vic.regs[reg] = value; break;
    }
}

bool vicBadLine(const Vic& vic, uint32_t line) {
    const uint8_t control = vic.regs[0x11];
    return (control & 0x10) && line >= kBadLineFirst && line <= kBadLineLast &&
           (line & 7) == (control & 7u);
}

uint64_t vicNextSteal(const Vic& vic, uint64_t from) {
    const uint8_t control = vic.regs[0x11];
    if (!(control & 0x10)) return kNever;
    // The line whose stop is at or after `from`: this one's if its stop is
    // still to come, else the next; then the first bad line from there.
    uint64_t index = from / vic.lineCycles;  // lines since cycle 0
    if (from > index * vic.lineCycles + kBadLineStealAt) ++index;
    uint64_t frameStart = index / vic.lines * vic.lines;
    const uint32_t line = static_cast<uint32_t>(index - frameStart);
    const uint32_t first = kBadLineFirst + (control & 7u), last = first + 0xC0;  // $F0 + YSCROLL
    uint32_t bad;
    if (line <= first) {
        bad = first;
    } else if (line <= last) {
        bad = line + ((first - line) & 7u);
    } else {
        bad = first;
        frameStart += vic.lines;
    }
    return (frameStart + bad) * vic.lineCycles + kBadLineStealAt;
}

uint64_t vicNextInterrupt(const Vic& vic) {
    if (!(vic.enable & 1) || (vic.flags & 1)) return kNever;
    return vicNextMatch(vic, vic.checkedFrom);
}

bool vicArmed(const Vic& vic) {
    return vicInterrupting(vic) || ((vic.enable & 1) && vic.compare < vic.lines);
}
