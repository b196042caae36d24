// The stores a machine run makes into the sound chip, kept for the tests to
// look at.
#pragma once

#include <cstdint>
#include <vector>

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

}  // namespace machine_stores
