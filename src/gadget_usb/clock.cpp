#include "gadget_usb/clock.h"

#include <time.h>
#include <unistd.h>

namespace qv {
namespace {

class RealClock final : public Clock {
public:
    void sleep_us(uint64_t microseconds) override {
        // usleep takes at most a second's worth on some systems; split long pauses.
        while (microseconds > 0) {
            const uint64_t step = microseconds > 1000000 ? 1000000 : microseconds;
            usleep(static_cast<useconds_t>(step));
            microseconds -= step;
        }
    }
    uint64_t now_us() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
    }
};

RealClock g_real;
Clock* g_clock = nullptr;

}  // namespace

Clock& real_clock() { return g_real; }
Clock& clock() { return g_clock ? *g_clock : g_real; }
void install_clock(Clock* c) { g_clock = c; }

}  // namespace qv
