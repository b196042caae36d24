// The machine's fingerprint: kept up to date store by store, it equals one
// taken anew, and any difference of memory, registers or flags changes it.
#include <gtest/gtest.h>

#include "cpu/cpu_state.h"
#include "cpu/fingerprint.h"
#include "support/test_support.h"

namespace {

// Stores into the zero page, the stack (JSR, PHA, PHP), three other pages
// through every kind of store, and twice into the same words: LDX #$40;
// loop: TXA; STA $20,X; PHA; PHP; STA $3000,X; INC $4000,X; DEC $4000,X;
// ASL $57FF; JSR sub; PLP; PLA; DEX; BNE loop; RTS; sub: STA $FFFF; RTS.
constexpr const char* kStores =
    "a2 40 8a 95 20 48 08 9d 00 30 fe 00 40 de 00 40 0e ff 57 20 20 10 28 68 ca d0 e7 60 "
    "00 00 00 00 8d ff ff 60";

Fingerprint freshFingerprint() {
    fingerprintStart();
    return fingerprintTake();
}

TEST(Fingerprint, KeptUpToDateEqualsOneTakenAnew) {
    loadCode(kStores);
    fingerprintStart();
    const Fingerprint before = fingerprintTake();
    ASSERT_EQ(cpuRun(0), kRunReachedBrk);
    const Fingerprint kept = fingerprintTake();
    EXPECT_NE(kept, before);
    EXPECT_EQ(kept, freshFingerprint());
    // A second run stores the same values again: nothing changes.
    cpuSetPc(0x1000);
    ASSERT_EQ(cpuRun(0), kRunReachedBrk);
    EXPECT_EQ(fingerprintTake(), kept);
}

TEST(Fingerprint, EveryPartOfTheStateCounts) {
    const auto changes = [](void (*change)()) {
        loadCode(kStores);
        const Fingerprint same = freshFingerprint();
        change();
        EXPECT_NE(freshFingerprint(), same);
    };
    changes([] { cpu.a ^= 1; });
    changes([] { cpu.x ^= 0x80; });
    changes([] { cpu.y ^= 1; });
    changes([] { cpu.sp ^= 1; });
    changes([] { cpu.c ^= 1; });
    changes([] { cpu.z ^= 1; });
    changes([] { cpu.i ^= 1; });
    changes([] { cpu.d ^= 1; });
    changes([] { cpu.b ^= 1; });
    changes([] { cpu.v ^= 1; });
    changes([] { cpu.n ^= 1; });
    changes([] { cpu.memory[0] ^= 1; });
    changes([] { cpu.memory[0xFFFF] ^= 0x80; });
    // Two bytes swapped within a word, and the same word at another place.
    changes([] { std::swap(cpu.memory[0x1000], cpu.memory[0x1001]); });
    changes([] {
        cpu.memory[0x2000] = cpu.memory[0x1000];
        cpu.memory[0x1000] = 0;
    });
}

}  // namespace
