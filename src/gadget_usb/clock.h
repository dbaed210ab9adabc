// Every pause the library makes goes through this seam: the one-second pause between read
// attempts, the 100 ms pause after each downloaded chunk. The default sleeps for real; tests and
// the simulated display install a virtual clock that advances at once.
#pragma once

#include <cstdint>

namespace qv {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleep_us(uint64_t microseconds) = 0;
    virtual uint64_t now_us() = 0;
};

Clock& real_clock();
Clock& clock();
void install_clock(Clock* clock);  // nullptr restores the real clock

}  // namespace qv
