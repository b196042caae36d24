// The stores a machine run makes into the sound chip, kept for the tests to
// look at, and the processor stepped to its next event.
#pragma once

#include <cstdint>
#include <vector>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"

namespace machine_stores {

struct Store {
    uint32_t time;
    uint16_t address;
    uint8_t value;
};

inline std::vector<Store> stores;

inline void keepStore(void*, uint32_t time, uint16_t address, uint8_t value) {
    stores.push_back({time, address, value});
}

// Runs the machine's processor an instruction at a time, ten at most, until
// it stops for an event: the last result and the instructions run.
struct Stepped {
    int result;
    int steps;
};
inline Stepped stepToEvent() {
    Stepped run{kRunStepsDone, 0};
    while (run.result == kRunStepsDone && run.steps < 10) {
        run.result = cpuRunMachine(1);
        ++run.steps;
    }
    return run;
}

}  // namespace machine_stores
