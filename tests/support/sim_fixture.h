// Test support: a simulated bus with a virtual clock installed in the library, stdout capture
// at file descriptor 1, and a clean connection state for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gadget_usb/usb_backend.h"
#include "quorvex.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace qvtest {

// Captures everything written to file descriptor 1 (the C stdout) between start and stop.
class StdoutCapture {
public:
    StdoutCapture() { start(); }
    ~StdoutCapture();
    void start();
    std::string stop();

private:
    int saved_ = -1;
    FILE* file_ = nullptr;
};

// Printed text without the transport's progress lines ("<INFO> ...\n", one per write and read;
// one may also follow a line left open, such as the DCI guard's "Vactive = ... ").
std::string without_info_lines(std::string printed);

// What reached the display, in order: "get 4,0", "set 3,3", "op 22" for other opcodes.
std::vector<std::string> sent(const qv::sim::Firmware& firmware);

// A 32-byte packet, all zero but the given {byte, value} pairs.
std::vector<uint8_t> packet_with(std::initializer_list<std::pair<int, uint8_t>> bytes);

// Puts every exported global back to its initial value.
void reset_library_state();

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the bus (replacing any earlier one) with these displays and installs it.
    qv::sim::SimBus& make_bus(const std::vector<qv::sim::FirmwareConfig>& displays);
    qv::sim::SimBus& make_bus(int displays, uint8_t monitor_type = 2);
    // Scan, then connect slot 0; fails the test if either fails. Clears requests and pauses.
    void connect_first();
    // Runs f with logging on and stdout captured; returns what was printed.
    // (A failed assertion inside f prints into the capture too: it is shown again on stderr.)
    template <class F>
    std::string output_of(F&& f) {
        const bool failed_before = HasFailure();
        StdoutCapture capture;
        f();
        std::string out = capture.stop();
        if (!failed_before && HasFailure()) std::fprintf(stderr, "%s", out.c_str());
        return out;
    }

    // What f printed of its own with logging on (without the transport's lines); logging is
    // left off afterwards, for tests that run quiet otherwise.
    template <class F>
    std::string printed(F&& f) {
        LogMessage = 1;
        std::string out = without_info_lines(output_of(std::forward<F>(f)));
        LogMessage = 0;
        return out;
    }

    // The same, expecting f to return rc.
    template <class F>
    std::string says(int rc, F&& f) {
        return printed([&] { EXPECT_EQ(f(), rc); });
    }

    qv::sim::VirtualClock clock;
    std::unique_ptr<qv::sim::SimBus> bus;
    qv::sim::Firmware& fw(std::size_t i = 0) { return bus->firmware(i); }
};

}  // namespace qvtest
