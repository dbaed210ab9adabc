// What the simulated display keeps about its power and maintenance actions beyond the stored
// setting payloads.
#pragma once

namespace qv::sim {

struct PowerState {
    int factory_resets = 0;        // factory resets received
    bool processor_off = false;    // the internal management processor was powered off
};

}  // namespace qv::sim
