// A clock that advances at once: every pause is recorded and added to the simulated time.
#pragma once

#include <cstdint>
#include <vector>

#include "gadget_usb/clock.h"

namespace qv::sim {

class VirtualClock final : public Clock {
public:
    void sleep_us(uint64_t microseconds) override {
        pauses_.push_back(microseconds);
        now_ += microseconds;
    }
    uint64_t now_us() override { return now_; }

    // Simulated time passing without a pause of the library's (a transfer timing out).
    void advance_us(uint64_t microseconds) { now_ += microseconds; }

    const std::vector<uint64_t>& pauses() const { return pauses_; }
    std::size_t count_pauses(uint64_t microseconds) const {
        std::size_t n = 0;
        for (uint64_t p : pauses_) n += p == microseconds ? 1 : 0;
        return n;
    }
    void clear_pauses() { pauses_.clear(); }

private:
    uint64_t now_ = 0;
    std::vector<uint64_t> pauses_;
};

}  // namespace qv::sim
