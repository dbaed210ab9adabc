#include "gadget_usb/clock.h"

#include <time.h>
#include <unistd.h>

namespace qv {
namespace {

thread_local PauseListener* t_listener = nullptr;

class RealClock final : public Clock {
public:
    void sleep_us(uint64_t microseconds) override {
        PauseListener* const listener = t_listener;
        if (listener != nullptr) listener->pausing();
        // usleep takes at most a second's worth on some systems; split long pauses.
        while (microseconds > 0) {
            const uint64_t step = microseconds > 1000000 ? 1000000 : microseconds;
            usleep(static_cast<useconds_t>(step));
            microseconds -= step;
        }
        if (listener != nullptr) listener->resuming();
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

void listen_to_pauses(PauseListener* listener) { t_listener = listener; }
Clock& real_clock() { return g_real; }
Clock& clock() { return g_clock ? *g_clock : g_real; }
void install_clock(Clock* c) { g_clock = c; }

}  // namespace qv
