// The path of the stores that the sound chip's registers receive: the
// console line for $5094, and every store into $D400-$D7FF handed to whatever
// listens (the .log writer, the study of a tune, a count of the stores).
//
// On the flat memory the path is the CPU's store hook on the pages of the
// sound chip's window (and of $5094): such a store is heard before its byte
// is stored, with the running call's cycle total as its time. In the machine
// environment the sound chip is a chip of the machine (machine/), which hands
// its stores to `sound`; stores into $D400-$D7FF that reach RAM (the I/O
// banked out) are not the chip's and are not heard.
#pragma once

#include <cstdint>

inline constexpr uint16_t kBumpAddress = 0x5094;
inline constexpr uint16_t kSidFirst = 0xD400;
inline constexpr uint16_t kSidLast = 0xD7FF;

inline bool inSidWindow(uint16_t address) {
    return static_cast<uint16_t>(address - kSidFirst) <= kSidLast - kSidFirst;
}

// Gets every store into $D400-$D7FF: the call's cycle total at the store
// (the storing instruction's cycles included), the address and the value.
struct WindowListener {
    void (*hear)(void* context, uint32_t time, uint16_t address, uint8_t value);
    void* context;
};

// A listener that counts the stores it hears in `count`.
WindowListener storeCounter(uint64_t& count);

class WritePath {
public:
    // After cpuReset: the path takes the CPU's stores, with no listener yet
    // (the reset forgets the hook). `bump`: stores to $5094 print "BUMP" (a
    // collection's run prints nothing). The path must stay where it is
    // while the CPU runs.
    void attach(bool bump);

    // Adds a listener; listeners hear a store in the order they were added.
    void listen(WindowListener listener);

    // From now on the sound chip is a chip of a machine, which hands its
    // stores to `sound`.
    void fromChip();

    // A store that reached the machine's sound chip, `time` cycles into the call.
    void sound(uint32_t time, uint16_t address, uint8_t value) const;
    // The same as a machine's sound-write callback; `context` is the path.
    static void soundOf(void* context, uint32_t time, uint16_t address, uint8_t value);

private:
    static void trapped(void* context, uint16_t address, uint8_t value);
    void hookWindow() const;

    static constexpr int kMaxListeners = 4;
    WindowListener listeners_[kMaxListeners] = {};
    int count_ = 0;
    bool fromChip_ = false;
};
