// State the identity firmware keeps beyond stored setting payloads.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qv::sim {

struct IdentityState {
    // Up to 25 bytes sent as they stand at bytes 7-31 of the reply (the library reads 7).
    std::string firmware_revision = "2.14.07";
    // The information strings by selector: customer ID/asset, deployment date, deployment
    // location, display name. Sent from byte 3 of the 103-byte reply; a text of 100 characters
    // or more fills the whole text area with no NUL.
    std::array<std::string, 4> info{"ASSET-0042", "2024-03-18", "Grading Suite B", "QV Reference 1"};
    // The hour counters (stored settings) have been brought up to this simulated time; each
    // whole hour since then adds one to both when a counter is read.
    uint64_t hours_counted_until_us = 0;
};

}  // namespace qv::sim
