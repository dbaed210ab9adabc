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

// Told around each real pause of the thread that set it: quorvexd lets its other threads use the
// simulated displays while one of them waits for a simulated display's slow answer.
class PauseListener {
public:
    virtual ~PauseListener() = default;
    virtual void pausing() = 0;
    virtual void resuming() = 0;
};
void listen_to_pauses(PauseListener* listener);  // this thread's; nullptr: none

Clock& real_clock();
Clock& clock();
void install_clock(Clock* clock);  // nullptr restores the real clock

}  // namespace qv
