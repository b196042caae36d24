// The CIA's timers and interrupt control register, and the video chip's
// raster counter and compare interrupt, as tables: each case a sequence of
// register accesses at given cycles on a chip fresh from its reset.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "machine/cia.h"
#include "machine/vic.h"

namespace {

// "w0e=11@0": write $11 to register $0E at cycle 0; "r04=0b@5": reading
// register $04 at cycle 5 gives $0B; "i=1@17": the interrupt output at
// cycle 17 (after bringing the chip there); "n=17": the next interrupt's
// cycle (decimal, "-" for none).
struct ChipCase {
    const char* what;
    const char* steps;
};

template <class Chip, class Read, class Write, class Advance, class Output, class Next>
void runCase(const ChipCase& c, Chip& chip, Read read, Write write, Advance advance, Output output,
             Next next) {
    std::istringstream in(c.steps);
    for (std::string step; in >> step;) {
        SCOPED_TRACE(std::string(c.what) + ": " + step);
        const char kind = step[0];
        const size_t at = step.find('@');
        const uint64_t cycle = at == std::string::npos ? 0 : std::stoull(step.substr(at + 1));
        const std::string value = step.substr(step.find('=') + 1, at - step.find('=') - 1);
        if (kind == 'n') {
            const uint64_t expected = value == "-" ? kNever : std::stoull(value);
            EXPECT_EQ(next(chip), expected);
            continue;
        }
        if (kind == 'i') {
            advance(chip, cycle);
            EXPECT_EQ(output(chip), value == "1");
            continue;
        }
        const uint8_t reg = static_cast<uint8_t>(std::stoul(step.substr(1, 2), nullptr, 16));
        const uint8_t byte = static_cast<uint8_t>(std::stoul(value, nullptr, 16));
        if (kind == 'w') {
            write(chip, reg, byte, cycle);
        } else {
            EXPECT_EQ(read(chip, reg, cycle), byte);
        }
    }
}

// Timer A's latch $0010 is loaded with the high byte while it is stopped;
// most cases start it at cycle 0.
#define LATCH_10 "w04=10@0 w05=00@0 "

// clang-format off
const ChipCase kCiaCases[] = {
    {"reset: timers stopped at ffff, nothing flagged",
     "r04=ff@100 r05=ff@100 r06=ff@100 r07=ff@100 r0d=00@100 n=-"},
    {"a stopped timer does not count", LATCH_10 "r04=10@1000 r0d=00@1000"},
    {"counts down once a cycle", LATCH_10 "w0e=01@0 r04=0b@5 r04=00@16"},
    {"underflows the cycle after 0, reloads and flags",
     LATCH_10 "w0e=01@0 r0d=00@16 r04=10@17 r0d=01@17"},
    {"continuous: every latch + 1 cycles",
     "w04=03@0 w05=00@0 w0e=01@0 r04=02@9 r0d=01@9 r0d=00@11 r0d=01@12 r04=00@15 r04=03@16"},
    {"many underflows between two reads flag once",
     LATCH_10 "w0e=01@0 r0d=01@1000 r04=02@1000 r0d=00@1000"},
    {"one-shot stops at the reload and clears its start bit",
     "w04=05@0 w05=00@0 w0e=09@0 r0e=09@5 r04=05@100 r0e=08@100 r0d=01@100 r04=05@200"},
    {"the latch's low byte leaves a running counter alone",
     LATCH_10 "w0e=01@0 w04=40@4 r04=0c@4 r04=40@17"},
    {"the latch's high byte loads only a stopped timer",
     "w04=00@0 w05=01@0 r05=01@0 w0e=01@0 w05=02@10 r05=00@10 r04=f6@10"},
    {"force load takes the latch at once, running or not",
     LATCH_10 "w0e=01@0 w04=30@5 w0e=11@5 r04=30@5 r04=2e@7 r0e=01@7"},
    {"stopping keeps the count; starting goes on from it",
     LATCH_10 "w0e=01@0 w0e=00@6 r04=0a@50 w0e=01@50 r04=08@52"},
    {"acknowledge on read: bit 7 for an unmasked flag, then all clear",
     LATCH_10 "w0d=81@0 w0e=01@0 i=0@16 i=1@17 r0d=81@20 i=0@20 r0d=00@20"},
    {"a masked flag raises nothing and reads without bit 7",
     LATCH_10 "w0e=01@0 i=0@20 r0d=01@20"},
    {"mask writes: bit 7 sets the bits given, else clears them; a cleared mask leaves "
     "the output raised until the register is read",
     LATCH_10 "w0e=01@0 w0d=83@0 w0d=02@0 i=1@17 w0d=01@17 i=1@17 r0d=81@17 i=0@17 "
              "i=0@34 w0d=81@40 i=1@40"},
    {"a handler that clears the mask first still reads bit 7",
     LATCH_10 "w0e=01@0 w0d=81@0 i=1@17 w0d=7f@18 i=1@18 r0d=81@18 i=0@18"},
    {"a flag set while masked raises nothing when the mask is cleared again",
     LATCH_10 "w0e=01@0 i=0@17 w0d=81@20 i=1@20 w0d=01@20 r0d=81@20 i=0@20 i=0@34 r0d=01@34"},
    {"enabling the mask over a set flag raises the output",
     LATCH_10 "w0e=01@0 i=0@30 w0d=81@30 i=1@30"},
    {"next interrupt: an unmasked running timer whose flag is clear",
     LATCH_10 "w0e=01@0 n=- w0d=81@0 n=17 i=1@17 n=- r0d=81@17 n=34"},
    {"timer b counts the clock too, and flags bit 1",
     "w06=04@0 w07=00@0 w0d=82@0 w0f=01@0 n=5 r0d=82@5 r06=04@5"},
    {"timer b counting timer a's underflows: the third underflows it",
     "w04=03@0 w05=00@0 w06=02@0 w07=00@0 w0d=82@0 w0f=41@0 w0e=01@0 n=12 r06=02@3 r06=01@4 "
     "r06=00@11 i=0@11 i=1@12 r06=02@12 r0d=83@12 n=24"},
    {"one-shot timer a gives a cascade one tick",
     "w04=03@0 w05=00@0 w06=00@0 w07=00@0 w0d=82@0 w0f=41@0 w0e=09@0 n=4 i=1@4 r0d=83@4 n=-"},
    {"counting CNT pulses does not count; a cascade from a stopped timer a neither",
     LATCH_10 "w06=05@0 w07=00@0 w0e=21@0 w0f=41@0 r04=10@100 r06=05@100 n=-"},
    {"the ports: outputs read as written, inputs as 1",
     "w02=ff@0 w00=7f@0 r00=7f@0 r01=ff@0 w03=0f@0 w01=a5@0 r01=f5@0"},
};
// clang-format on

// The cases as CIA 2 runs them: its output held until the register is read.
TEST(Cia, Cases) {
    for (const ChipCase& c : kCiaCases) {
        Cia cia;
        ciaReset(cia);
        cia.holdsOutput = true;
        runCase(c, cia, ciaRead, ciaWrite, ciaAdvance, ciaInterrupting, ciaNextInterrupt);
    }
}

// CIA 1's output follows its flags and mask: a mask cleared over a raised
// flag lowers it (a start routine that ran with interrupts off leaves no
// IRQ held), and the read's bit 7 says the same.
// clang-format off
const ChipCase kCia1Cases[] = {
    {"a cleared mask lowers the output",
     LATCH_10 "w0e=01@0 w0d=81@0 i=1@17 w0d=01@18 i=0@18 r0d=01@18"},
    {"a mask set over a flag raises it again",
     LATCH_10 "w0e=01@0 i=0@17 w0d=81@20 i=1@20 r0d=81@20 i=0@20"},
};
// clang-format on

TEST(Cia, FirstChipsOutputFollowsTheMask) {
    for (const ChipCase& c : kCia1Cases) {
        Cia cia;
        ciaReset(cia);
        runCase(c, cia, ciaRead, ciaWrite, ciaAdvance, ciaInterrupting, ciaNextInterrupt);
    }
}

TEST(Cia, ArmedWhenAnUnmaskedTimerRuns) {
    Cia cia;
    ciaReset(cia);
    EXPECT_FALSE(ciaArmed(cia));
    ciaWrite(cia, 0x0D, 0x81, 0);
    EXPECT_FALSE(ciaArmed(cia));  // masked in, but stopped
    ciaWrite(cia, 0x0E, 0x01, 0);
    EXPECT_TRUE(ciaArmed(cia));
    ciaWrite(cia, 0x0E, 0x09, 0);  // one-shot: armed until it has run out
    ciaAdvance(cia, 0x10000);
    ciaRead(cia, 0x0D, 0x10000);
    EXPECT_FALSE(ciaArmed(cia));
}

// Cycles of raster line n's start: n * 63 on PAL.
// clang-format off
const ChipCase kPalCases[] = {
    {"the raster line from the cycle", "r12=00@62 r12=01@63 r12=37@3465 r11=00@3465"},
    {"bit 8 of the line in $D011 bit 7, the frame wraps after line 311",
     "w11=1b@0 r11=9b@16128 r12=00@16128 r12=37@19655 r11=9b@19655 r12=00@19656 r11=1b@19656"},
    {"the compare matches at its line's first cycle, whether enabled or not",
     "w12=10@0 w11=1b@0 r19=70@1007 r19=71@1008"},
    {"enabled: the output rises, $D019 shows bit 7, a write acknowledges",
     "w12=10@0 w11=1b@0 w1a=01@0 n=1008 i=0@1007 i=1@1008 r19=f1@1008 r1a=f1@1008 w19=01@1010 "
     "i=0@1010 n=20664"},
    {"bit 8 of the compare in $D011 bit 7", "w11=9b@0 w12=05@0 w1a=01@0 n=16443"},
    {"a compare past the frame never matches", "w11=9b@0 w12=40@0 w1a=01@0 n=-"},
    {"idle registers", "r1e=00@0 r1f=00@0 r3f=ff@0 w20=0e@0 r20=fe@0 w16=08@0 r16=c8@0"},
};
const ChipCase kNtscCases[] = {
    {"65 cycles a line, 263 lines", "r12=01@65 r12=06@17094 r11=80@17094 r12=00@17095"},
    {"the system's compare $137 lies past an NTSC frame", "w11=9b@0 w12=37@0 w1a=01@0 n=-"},
};
// clang-format on

void runVic(const ChipCase& c, bool ntsc) {
    Vic vic;
    vicReset(vic, ntsc);
    runCase(c, vic, vicRead, vicWrite, vicAdvance, vicInterrupting, vicNextInterrupt);
}

TEST(Vic, PalCases) {
    for (const ChipCase& c : kPalCases) runVic(c, false);
}

TEST(Vic, NtscCases) {
    for (const ChipCase& c : kNtscCases) runVic(c, true);
}

TEST(Vic, RasterReadOnlyByItsRegisters) {
    Vic vic;
    vicReset(vic, false);
    vicWrite(vic, 0x12, 0x20, 0);
    vicWrite(vic, 0x1A, 0x01, 0);
    vicRead(vic, 0x19, 10);
    EXPECT_FALSE(vic.rasterRead);
    vicRead(vic, 0x12, 10);
    EXPECT_TRUE(vic.rasterRead);
}

}  // namespace

namespace {

struct BadLineCase {
    uint8_t control;  // $D011
    uint32_t line;
    bool bad;
};

// clang-format off
const BadLineCase kBadLines[] = {
    {0x1B, 0x33, true},  {0x1B, 0x3B, true},  {0x1B, 0xF3, true},  // YSCROLL 3
    {0x1B, 0x2B, false}, {0x1B, 0xFB, false},                       // outside $30-$F7
    {0x1B, 0x34, false}, {0x1B, 0x32, false},                       // other low bits
    {0x18, 0x30, true},  {0x18, 0xF0, true},  {0x18, 0xF8, false},  // YSCROLL 0
    {0x1F, 0x37, true},  {0x1F, 0xF7, true},  {0x1F, 0x2F, false},  // YSCROLL 7, both ends
    {0x0B, 0x33, false}, {0x9B, 0x33, true},                        // DEN off; bit 7 aside
};
// clang-format on

TEST(Vic, BadLineTable) {
    Vic vic;
    vicReset(vic, false);
    for (const BadLineCase& c : kBadLines) {
        vicWrite(vic, 0x11, c.control, 0);
        EXPECT_EQ(vicBadLine(vic, c.line), c.bad) << std::hex << int{c.control} << " " << c.line;
    }
}

TEST(Vic, NextBadLineStop) {
    struct Case {
        bool ntsc;
        uint8_t control;
        uint64_t from, stop;
    };
    const uint64_t pal = 63, ntsc = 65, palFrame = 312 * 63;
    const Case cases[] = {
        {false, 0x1B, 0, 0x33 * pal + 12},                           // the frame's first
        {false, 0x1B, 0x33 * pal + 12, 0x33 * pal + 12},             // at it
        {false, 0x1B, 0x33 * pal + 13, 0x3B * pal + 12},             // just past it: the next
        {false, 0x1B, 0xF3 * pal + 13, palFrame + 0x33 * pal + 12},  // past the last
        {false, 0x18, 5 * palFrame + 1, 5 * palFrame + 0x30 * pal + 12},
        {true, 0x1B, 0x3B * ntsc, 0x3B * ntsc + 12},
        {false, 0x0B, 0, kNever},  // the screen off
    };
    for (const Case& c : cases) {
        Vic vic;
        vicReset(vic, c.ntsc);
        vicWrite(vic, 0x11, c.control, 0);
        EXPECT_EQ(vicNextSteal(vic, c.from), c.stop) << c.from;
    }
}

}  // namespace
