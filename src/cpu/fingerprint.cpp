#include "cpu/fingerprint.h"

#include <cstring>

#include "cpu/cpu_state.h"

namespace {

constexpr int kWords = kMemorySize / 8;
constexpr uint64_t kGolden = 0x9E3779B97F4A7C15;  // 2^64 / the golden ratio

// A bijection of 64 bits that mixes every bit into all the others: the
// finalizer of a well-known 64-bit hash. Two sets of constants give the two
// halves of a fingerprint.
template <int A, uint64_t M, int B, uint64_t N, int C>
uint64_t mix(uint64_t x) {
    x ^= x >> A;
    x *= M;
    x ^= x >> B;
    x *= N;
    return x ^ (x >> C);
}

uint64_t mixLow(uint64_t x) {
    return mix<33, 0xFF51AFD7ED558CCD, 33, 0xC4CEB9FE1A85EC53, 33>(x);
}

uint64_t mixHigh(uint64_t x) {
    return mix<30, 0xBF58476D1CE4E5B9, 27, 0x94D049BB133111EB, 31>(x);
}

// Memory is 8192 words of 8 bytes; each contributes a mix of its value and
// its place, and the halves are the sums of the contributions.
struct Memory {
    uint64_t low, high;
    uint64_t copy[kWords];  // memory as the sums have it
    uint8_t written[256];   // pages stored into since the last fingerprint
    int writtenCount;
};

thread_local Memory memory;

uint64_t wordAt(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

void add(int index, uint64_t word) {
    const uint64_t place = static_cast<uint64_t>(index) * kGolden;
    memory.low += mixLow(word ^ place);
    memory.high += mixHigh(word + place);
}

void remove(int index, uint64_t word) {
    const uint64_t place = static_cast<uint64_t>(index) * kGolden;
    memory.low -= mixLow(word ^ place);
    memory.high -= mixHigh(word + place);
}

void watchAllPages() {
    for (uint8_t& traps : cpu.storeTraps) traps |= kTrapFingerprint;
}

}  // namespace

void fingerprintStart() {
    memory.low = memory.high = 0;
    for (int k = 0; k < kWords; ++k) {
        memory.copy[k] = wordAt(cpu.memory.data() + 8 * k);
        add(k, memory.copy[k]);
    }
    memory.writtenCount = 0;
    watchAllPages();
}

void fingerprintNotePage(uint8_t page) {
    cpu.storeTraps[page] = static_cast<uint8_t>(cpu.storeTraps[page] & ~kTrapFingerprint);
    memory.written[memory.writtenCount++] = page;
}

Fingerprint fingerprintTake() {
    for (int k = 0; k < memory.writtenCount; ++k) {
        const uint8_t page = memory.written[k];
        for (int index = page * 32; index < page * 32 + 32; ++index) {
            const uint64_t word = wordAt(cpu.memory.data() + 8 * index);
            if (word == memory.copy[index]) continue;
            remove(index, memory.copy[index]);
            add(index, word);
            memory.copy[index] = word;
        }
        cpu.storeTraps[page] |= kTrapFingerprint;
    }
    memory.writtenCount = 0;
    const uint64_t registers = uint64_t{cpu.a} | uint64_t{cpu.x} << 8 | uint64_t{cpu.y} << 16 |
                               uint64_t{cpu.sp} << 24 | uint64_t{statusByte()} << 32;
    return {memory.low + mixLow(registers ^ 0x5555555555555555ull),
            memory.high + mixHigh(registers + 0x3333333333333333ull)};
}

Fingerprint fingerprintWith(Fingerprint fingerprint, const uint64_t* words, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        // Places after memory's words.
        const uint64_t place = (kWords + 1 + k) * kGolden;
        fingerprint.low += mixLow(words[k] ^ place);
        fingerprint.high += mixHigh(words[k] + place);
    }
    return fingerprint;
}
