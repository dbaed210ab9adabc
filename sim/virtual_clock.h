// A clock that advances at once: every pause is recorded and added to the simulated time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gadget_usb/clock.h"

namespace qv::sim {

class VirtualClock final : public Clock {
public:
    void sleep_us(uint64_t microseconds) override {
        // The record of pauses stays bounded: past twice kPauseRecord the older half goes.
        if (pauses_.size() == 2 * kPauseRecord)
            pauses_.erase(pauses_.begin(), pauses_.begin() + static_cast<std::ptrdiff_t>(kPauseRecord));
        pauses_.push_back(microseconds);
        now_ += microseconds;
    }
    uint64_t now_us() override { return now_; }

    // Simulated time passing without a pause of the library's (a transfer timing out).
    void advance_us(uint64_t microseconds) { now_ += microseconds; }

    // The pauses since the last clear; of a long run, only the most recent (at least
    // kPauseRecord of them).
    static constexpr std::size_t kPauseRecord = 4096;
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
