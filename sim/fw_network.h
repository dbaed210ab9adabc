// State the network firmware keeps beyond stored setting payloads.
#pragma once

#include <array>
#include <cstdint>

namespace qv::sim {

struct NetworkState {
    // IP configuration. The MAC is the display's own: a host reads it but never writes it.
    uint8_t ip_mode = 1;
    std::array<uint8_t, 4> address{192, 168, 1, 10};
    std::array<uint8_t, 4> subnet_mask{255, 255, 255, 0};
    std::array<uint8_t, 4> gateway{192, 168, 1, 1};
    std::array<uint8_t, 6> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
};

// Status the display answers with when a network setting is asked for while the web server
// (or, for the identify support, web management) is off.
inline constexpr uint8_t kWebServiceOffStatus = 2;

}  // namespace qv::sim
