// The library's own libusb backend on a kernel USB bus emulated by umockdev, with a clean bus for
// every test. The virtual clock is safe to share: every usbfs request blocks the library's thread.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "sim/umockdev/usb_testbed.h"
#include "support/sim_fixture.h"

namespace qvtest {

class UsbTest : public SimTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Bus 1: its root hub, then display k-1 (serial QVUSB0000k) on port k at address k+1.
    void plug_displays(int count);
    // Scan with stdout captured; the serials of the recorded slots.
    int scan(std::vector<std::string>* serials = nullptr, std::string* output = nullptr);
    // Scan, then connect slot 0, quietly; fails the test if either fails. Clears the request logs.
    void connect_first();

    // A field of display i (or a function of it), read under the handler's lock.
    template <class F>
    auto seen(std::size_t i, F f) {
        std::decay_t<std::invoke_result_t<F, const EmulatedDisplay&>> value{};
        usb().with_display(i, [&](EmulatedDisplay& d) { value = std::invoke(f, std::as_const(d)); });
        return value;
    }
    UsbTestbed& usb() { return *testbed_; }

private:
    UsbTestbed* testbed_ = nullptr;
};

}  // namespace qvtest
