#include "machine/machine.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "cpu/watchdog.h"
#include "machine/memory_map.h"

thread_local MachineState machine;

namespace {

constexpr uint16_t kIrqVector = 0xFFFE;
constexpr uint16_t kNmiVector = 0xFFFA;
constexpr uint16_t kPalLatch = 0x4025;
constexpr uint16_t kNtscLatch = 0x4295;

// What the runner keeps between calls.
struct Calls {
    uint32_t next;   // the number of the next call
    uint64_t limit;  // a call's cycle limit
    bool limitIsBudget;
    bool startReturned;  // the start routine reached the idle loop
    bool halted;
    uint16_t idle;  // the idle loop the start routine returns to
    // The calls after which the raster and each CIA's counts were last read,
    // plus one (0: never).
    uint32_t rasterReadAfter, countsReadAfter[2];
};

// Calls after a read of a counter during which its value still counts as
// observed: a tune that reads the raster or a timer while it plays does so
// every few calls; one that read it while it started no longer depends on it.
constexpr uint32_t kObservedCalls = 64;

thread_local Calls calls;

void poke(uint16_t address, uint8_t value) {
    cpu.memory[address] = value;
}

void pokeWord(uint16_t address, uint16_t value) {
    poke(address, static_cast<uint8_t>(value));
    poke(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
}

void advanceChips(uint64_t now) {
    ciaAdvance(machine.cia1, now);
    ciaAdvance(machine.cia2, now);
    vicAdvance(machine.vic, now);
    machineUpdateLines();
}

uint64_t frameCycles() {
    return vicFrameCycles(machine.vic);
}

// Frames that call 0 may last while the start routine runs.
constexpr uint64_t kStartFrames = 50;

// When the running call ends unless an IRQ comes first.
uint64_t callEnd() {
    if (calls.next == 1 && !calls.startReturned)
        return machine.callStart + kStartFrames * frameCycles();
    return machine.callStart + frameCycles();
}

uint64_t nextInterrupt() {
    return std::min({ciaNextInterrupt(machine.cia1), ciaNextInterrupt(machine.cia2),
                     vicNextInterrupt(machine.vic)});
}

// The 6502 looks at its interrupt inputs before an instruction's last cycle:
// an interrupt that comes later is taken after the next instruction. A CIA
// raises its output a cycle after the underflow that sets its flag, the
// video chip at the compare line's first cycle. So the running instruction
// is stopped after the one that ends this many cycles after the flag's
// cycle, or later.
constexpr uint64_t kCiaLatency = 3;
constexpr uint64_t kVicLatency = 2;

uint64_t later(uint64_t cycle, uint64_t by) {
    return cycle == kNever ? kNever : cycle + by;
}

uint64_t nextEvent() {
    return std::min({later(ciaNextInterrupt(machine.cia1), kCiaLatency),
                     later(ciaNextInterrupt(machine.cia2), kCiaLatency),
                     later(vicNextInterrupt(machine.vic), kVicLatency),
                     vicNextSteal(machine.vic, machine.stealFrom), callEnd()});
}

// Where a processor that waits from `now` goes on: the next interrupt, or
// the call's end or limit. The bad lines' stops on the way cost nothing; an
// interrupt that comes within one is taken at its end.
uint64_t idleUntil(uint64_t now) {
    const uint64_t end = std::min(callEnd(), cpu.bus.limit);
    const uint64_t interrupt = nextInterrupt();
    uint64_t target = std::max(now, std::min(interrupt, end));
    if (interrupt <= end) {
        const uint64_t reach = kBadLineCycles - 1;
        const uint64_t steal = vicNextSteal(
            machine.vic, std::max(machine.stealFrom, target > reach ? target - reach : 0));
        if (steal <= target) {
            machine.stealFrom = steal + 1;
            return steal + kBadLineCycles;
        }
    }
    machine.stealFrom = std::max(machine.stealFrom, target);
    return target;
}

// Whether anything but the processor can still change the machine: an NMI,
// or an IRQ that the I flag lets in.
bool interruptCanCome() {
    if (machine.nmiPending || ciaArmed(machine.cia2)) return true;
    return !cpu.i && (ciaArmed(machine.cia1) || vicArmed(machine.vic));
}

void enter(uint16_t vector, bool nmi, const MachineTrace* trace) {
    if (trace != nullptr) trace->interrupt(trace->context, nmi);
    cpuInterrupt(vector);
}

bool inIdleLoop(uint16_t pc) {
    return pc >= calls.idle && pc < calls.idle + 4 && busRead(calls.idle) == 0x58;
}

}  // namespace

void machineUpdateLines() {
    cpu.bus.irqLine = ciaInterrupting(machine.cia1) || vicInterrupting(machine.vic);
    const bool nmi = ciaInterrupting(machine.cia2);
    if (nmi && !machine.nmiLevel) machine.nmiPending = true;
    machine.nmiLevel = nmi;
}

void machineStart(const MachineSettings& settings) {
    std::memset(&machine, 0, sizeof machine);
    machine.soundWrite = settings.soundWrite;
    machine.soundContext = settings.soundContext;
    calls = Calls{};
    calls.limit = settings.budget != 0 ? settings.budget : 0xFFFFFFFF;
    calls.limitIsBudget = settings.budget != 0;
    cpu.bus = CpuBus{};
    // The machine's limits are its own: the watchdog only looks for states
    // that repeat.
    watchdogSetCycleBudget(~uint64_t{0} >> 2);

    ciaReset(machine.cia1);
    ciaReset(machine.cia2);
    machine.cia2.holdsOutput = true;
    vicReset(machine.vic, settings.ntsc);
    sidVoicesReset(machine.sid, 0);
    // The system's setting: keyboard lines, CIA 1 timer A for its interrupt,
    // the video bank, the screen.
    const uint8_t cia1[][2] = {{0x02, 0xFF}, {0x00, 0x7F}, {0x0D, 0x81}, {0x0E, 0x11}};
    const uint16_t latch = settings.ntsc ? kNtscLatch : kPalLatch;
    ciaWrite(machine.cia1, 0x04, static_cast<uint8_t>(latch), 0);
    ciaWrite(machine.cia1, 0x05, static_cast<uint8_t>(latch >> 8), 0);
    for (const auto& w : cia1) ciaWrite(machine.cia1, w[0], w[1], 0);
    ciaWrite(machine.cia2, 0x02, 0x3F, 0);
    ciaWrite(machine.cia2, 0x00, 0x97, 0);
    const uint8_t vic[][2] = {{0x11, 0x9B}, {0x12, 0x37}, {0x16, 0xC8},
                              {0x18, 0x15}, {0x20, 0x0E}, {0x21, 0x06}};
    for (const auto& w : vic) vicWrite(machine.vic, w[0], w[1], 0);
    machine.vic.rasterRead = false;

    poke(0x00, 0x2F);
    poke(0x01, settings.bank);
    poke(0x02A6, settings.ntsc ? 0 : 1);
    // No key down: the keyboard scan's last and current key ($40 is none),
    // the STOP key's row.
    poke(0xC5, 0x40);
    poke(0xCB, 0x40);
    poke(0x91, 0xFF);
    pokeWord(0x0314, kIrqHandler);
    pokeWord(0x0316, kBrkHandler);
    pokeWord(0x0318, kNmiHandler);
    memoryMapStart();

    // The start routine returns into the idle loop.
    calls.idle = settings.idle;
    if (settings.idle != kIdleLoop) {
        poke(settings.idle, 0x58);  // CLI
        poke(static_cast<uint16_t>(settings.idle + 1), 0x4C);
        pokeWord(static_cast<uint16_t>(settings.idle + 2),
                 static_cast<uint16_t>(settings.idle + 1));
    }
    pokeWord(0x01FE, static_cast<uint16_t>(settings.idle - 1));
    cpu.sp = 0xFD;
    cpu.pc = settings.initAddress;
    cpu.a = settings.a;
    cpu.i = 1;
    cpu.bus.now = 0;
    machineUpdateLines();
}

MachineCall machineRunCall(const MachineTrace* trace) {
    machine.callStart = cpu.bus.now;
    const bool first = calls.next == 0;
    ++calls.next;
    MachineCall out{0, false};
    if (calls.halted) {
        cpu.bus.now += frameCycles();
        out.cycles = frameCycles();
        return out;
    }
    cpu.bus.limit = machine.callStart + calls.limit;
    cpu.bus.limitIsBudget = calls.limitIsBudget;
    watchdogStartRoutine();
    bool entered = false;  // this call began with its IRQ
    for (;;) {
        uint64_t now = cpu.bus.now;
        advanceChips(now);
        if (cpu.bus.irqLine && !cpu.i && !cpu.bus.irqHeld) {
            // An IRQ begins a call: this one when it is due as the call
            // begins, else the next. (An NMI due at the same cycle is taken
            // after the IRQ's entry.)
            if (first || entered || now != machine.callStart) break;
            entered = true;
            enter(kIrqVector, false, trace);
            continue;
        }
        if (machine.nmiPending) {
            machine.nmiPending = false;
            enter(kNmiVector, true, trace);
            continue;
        }
        const uint64_t steal = vicNextSteal(machine.vic, machine.stealFrom);
        if (now >= steal) {
            // A bad line: the processor stops (in the instruction that
            // reached the stop, which ends that much later). A stop passed
            // while nothing ran (a halted machine's frames) costs nothing.
            if (now < steal + kBadLineCycles) cpu.bus.now = now + kBadLineCycles;
            machine.stealFrom = steal + 1;
            continue;
        }
        if (now >= callEnd()) break;
        cpu.bus.nextEvent = nextEvent();
        int result;
        if (trace != nullptr) {
            const uint16_t pc = cpu.pc;
            const uint8_t bytes[3] = {memoryPeek(pc), memoryPeek(static_cast<uint16_t>(pc + 1)),
                                      memoryPeek(static_cast<uint16_t>(pc + 2))};
            trace->instruction(trace->context, pc, bytes);
            result = cpuRunMachine(1);
        } else {
            result = cpuRunMachine(0);
        }
        if (!calls.startReturned && inIdleLoop(cpu.pc)) calls.startReturned = true;
        if (result == kRunIdle || result == kRunRepeat) {
            if (!interruptCanCome()) {
                watchdogStop(StopReason::EndlessLoop, cpu.pc, 0);
                calls.halted = true;
                out.stopped = true;
                break;
            }
            // Nothing changes until the next event: go to its cycle (the
            // 6502 would take an interrupt at the end of the instruction
            // under way, a few cycles later; exact times keep calls of equal
            // length equal, so that songs repeat).
            cpu.bus.now = idleUntil(cpu.bus.now);
            watchdogStartRoutine();
        } else if (result == kRunStopped) {
            out.stopped = true;
            if (watchdog.reason == StopReason::NotExecuted) calls.halted = true;
            break;
        }
    }
    out.cycles = cpu.bus.now - machine.callStart;
    return out;
}

uint16_t machineIdlePlace(uint16_t load, uint32_t size, uint8_t startPage, uint8_t pages) {
    if (startPage == 0xFF) return kIdleLoop;
    if (startPage != 0 && pages != 0) return static_cast<uint16_t>(startPage << 8);
    const uint32_t end = load + size;  // the image: [load, end)
    uint32_t best = kIdleLoop, bestSize = 0;
    for (const auto& [from, to] :
         {std::pair<uint32_t, uint32_t>{0x0400, 0xA000}, {0xC000, 0xD000}}) {
        // What lies below the image and what lies above it, page-aligned.
        const uint32_t pieces[2][2] = {{from, std::min(to, uint32_t{load})},
                                       {std::max(from, (end + 0xFF) & ~0xFFu), to}};
        for (const auto& piece : pieces) {
            if (piece[1] > piece[0] + 4 && piece[1] - piece[0] > bestSize) {
                best = piece[0];
                bestSize = piece[1] - piece[0];
            }
        }
    }
    return static_cast<uint16_t>(best);
}

uint8_t machineStartBank(bool rsid, uint16_t load, uint32_t size) {
    const uint32_t end = load + size;  // the image: [load, end)
    const auto reaches = [&](uint32_t from, uint32_t to) { return load < to && end > from; };
    if (rsid || size == 0) return 0x37;
    if (reaches(0xD000, 0xE000)) return 0x34;
    if (reaches(0xE000, 0x10000)) return 0x35;
    if (reaches(0xA000, 0xC000)) return 0x36;
    return 0x37;
}

uint32_t machineExpectedPeriod() {
    const CiaTimer& a = machine.cia1.timer[0];
    if (a.running && (machine.cia1.mask & 1)) return uint32_t{a.latch} + 1;
    return static_cast<uint32_t>(frameCycles());
}

size_t machineStateWords(uint64_t* words) {
    // Reads since the last state: the call just ended read them.
    if (machine.vic.rasterRead) calls.rasterReadAfter = calls.next + 1;
    machine.vic.rasterRead = false;
    Cia* const cias[2] = {&machine.cia1, &machine.cia2};
    for (int c = 0; c < 2; ++c) {
        if (cias[c]->counterRead) calls.countsReadAfter[c] = calls.next + 1;
        cias[c]->counterRead = false;
    }
    const auto observed = [](uint32_t after) {
        return after != 0 && calls.next + 1 - after < kObservedCalls;
    };
    size_t n = 0;
    auto bytes = [&](const uint8_t* data, size_t size) {
        for (size_t k = 0; k < size; k += 8) {
            uint64_t word = 0;
            std::memcpy(&word, data + k, std::min<size_t>(8, size - k));
            words[n++] = word;
        }
    };
    for (int c = 0; c < 2; ++c) {
        const Cia& cia = *cias[c];
        for (int k = 0; k < 2; ++k) {
            // A counter counts when nothing looks at it: only a count that
            // was read lately, or that times an IRQ (which begins the next
            // call), is part of the state. A count that times NMIs is left
            // out: its phase against the calls (a sample player's) moves
            // writes by some cycles without changing the music, but would
            // keep most such songs from ever repeating.
            const CiaTimer& t = cia.timer[k];
            const bool timesIrq = c == 0 && (cia.mask & (1 << k));
            const bool seen = observed(calls.countsReadAfter[c]) || timesIrq;
            words[n++] = uint64_t{t.latch} | uint64_t{seen ? t.counter : 0u} << 16 |
                         uint64_t{t.running} << 32 | uint64_t{t.oneShot} << 33 |
                         uint64_t{cia.countsA} << 34;
        }
        words[n++] = uint64_t{cia.flags} | uint64_t{cia.mask} << 8 | uint64_t{cia.raised} << 16;
        bytes(cia.regs, sizeof cia.regs);
    }
    const Vic& vic = machine.vic;
    bytes(vic.regs, sizeof vic.regs);
    // The raster position likewise: read lately, or timing an IRQ.
    const bool raster = observed(calls.rasterReadAfter) || (vic.enable & 1);
    words[n++] = uint64_t{vic.compare} | uint64_t{vic.flags} << 16 | uint64_t{vic.enable} << 24 |
                 (raster ? (cpu.bus.now % frameCycles()) << 32 : 0);
    words[n++] = uint64_t{cpu.pc} | uint64_t{machine.nmiLevel} << 16 |
                 uint64_t{calls.startReturned} << 17 | uint64_t{calls.halted} << 18;
    bytes(machine.colour, sizeof machine.colour);
    return n;
}
