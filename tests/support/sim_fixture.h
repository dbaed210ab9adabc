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

// Printed text without the transport's progress lines (those starting "<INFO> ").
std::string without_info_lines(const std::string& printed);

// A 32-byte packet, all zero but the given {byte, value} pairs.
std::vector<uint8_t> packet_with(std::initializer_list<std::pair<int, uint8_t>> bytes);

// Puts every exported global back to its initial value.
void reset_library_state();

// What a call printed without the transport's "<INFO> ...\n" progress lines of each exchange
// (which may also follow a line left open, such as the DCI guard's "Vactive = ... ").
inline std::string without_transport_lines(std::string out) {
    for (std::size_t at = out.find("<INFO> "); at != std::string::npos; at = out.find("<INFO> ", at)) {
        const std::size_t end = out.find('\n', at);
        out.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    return out;
}

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

    qv::sim::VirtualClock clock;
    std::unique_ptr<qv::sim::SimBus> bus;
    qv::sim::Firmware& fw(std::size_t i = 0) { return bus->firmware(i); }
};

}  // namespace qvtest
