// Test fixture for the library on the emulated kernel USB bus: the library's own libusb
// backend (no simulated backend installed, QUORVEX_SIMULATE unset), the virtual clock for the
// library's pauses, and a clean bus and connection state for every test.
//
// The library's pauses and the models' reads of the clock never overlap: every usbfs request
// is a blocking call from the thread that runs the library.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "quorvex.h"
#include "sim/virtual_clock.h"
#include "support/sim_fixture.h"
#include "sim/umockdev/usb_testbed.h"

namespace qvtest {

class UsbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Bus 1 with its root hub and `count` displays (serials QVUSB0000k, k = 1..count) on ports
    // 1.. at addresses 2..; the display of port k is display k-1.
    void plug_displays(int count, uint8_t monitor_type = 2);
    qv::sim::FirmwareConfig display_config(int k, uint8_t monitor_type = 2) const;

    // Scan with stdout captured; the serials of the recorded slots.
    int scan(std::vector<std::string>* serials = nullptr, std::string* output = nullptr);
    // Scan, then connect slot 0; fails the test if either fails. Clears the request logs.
    void connect_first();

    UsbTestbed& usb() { return *testbed_; }

    qv::sim::VirtualClock clock;

private:
    UsbTestbed* testbed_ = nullptr;
};

// The serials a scan wrote, one per recorded slot.
std::vector<std::string> serials_of(const std::array<char, 36>& table, int found);

}  // namespace qvtest
