// What the inputs firmware keeps beyond stored setting payloads: the name of each video input.
#pragma once

#include <array>
#include <cstdint>

namespace qv::sim {

struct InputName {
    uint8_t type = 0;                   // 0 default, 1..10 predefined, 11 custom
    std::array<uint8_t, 15> custom{};   // the custom name as stored, NUL-padded
    uint8_t custom_status = 0;          // 1 once a custom name was set
};

struct InputsState {
    std::array<InputName, 5> names;     // by input number 0..4
};

}  // namespace qv::sim
