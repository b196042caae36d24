// A fingerprint of the whole machine: all 64 KiB of memory, A, X, Y, S and
// the flags, 128 bits, so that two different states practically never share
// one. Used to find where a song repeats: the state after a routine call
// decides everything that follows, since the next call only sets pc.
//
// It is kept up to date as the run goes, not taken anew: after each call only
// the pages stored into since the last fingerprint are compared with a copy
// of memory, and only the words that changed are hashed again. The first
// store into a page is seen through the page's kTrapFingerprint, the others
// cost nothing.
#pragma once

#include <cstddef>
#include <cstdint>

struct Fingerprint {
    uint64_t low, high;
    bool operator==(const Fingerprint&) const = default;
};

// Starts from the machine as it is now (after the tune is placed in memory).
void fingerprintStart();

// The fingerprint of the machine as it is now.
Fingerprint fingerprintTake();

// A fingerprint with `count` words of further state mixed in (a machine's
// chips), each at its own place.
Fingerprint fingerprintWith(Fingerprint fingerprint, const uint64_t* words, size_t count);

// The first store into `page` since the last fingerprint (the page's trap).
void fingerprintNotePage(uint8_t page);
