#include "umockdev/usb_fixture.h"

#include <cstdlib>

namespace qvtest {
namespace {

// The testbed's files go when the last test of the process is done.
class TestbedCleanup : public ::testing::Environment {
    void TearDown() override { UsbTestbed::shutdown(); }
};
[[maybe_unused]] const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new TestbedCleanup);

}  // namespace

void UsbTest::SetUp() {
    SimTest::SetUp();  // the virtual clock; the library's own choice of backend: libusb
    testbed_ = &UsbTestbed::instance();
    if (!testbed_->emulating()) {
        // Unwrapped, the library would reach this machine's real USB bus. CTest always wraps.
        if (std::getenv("QUORVEX_UMOCKDEV_REQUIRED") != nullptr) FAIL() << "not running under umockdev-wrapper";
        GTEST_SKIP() << "run under umockdev-wrapper to emulate the USB bus";
    }
    unsetenv("QUORVEX_SIMULATE");
    testbed_->reset(&clock);
}

void UsbTest::TearDown() {
    if (testbed_->emulating()) {
        // Close whatever the test left open (a release that failed keeps the handle otherwise).
        LogMessage = 0;
        m_claimed_interface = 0;
        Disconnect();
        EXPECT_EQ(testbed_->unknown_requests(), std::vector<std::string>{});
        EXPECT_EQ(testbed_->foreign_opens(), 0) << "a device that is not a display was opened";
        testbed_->reset(nullptr);
    }
    SimTest::TearDown();
}

void UsbTest::plug_displays(int count) {
    usb().add_root_hub(1);
    for (int k = 1; k <= count; ++k) {
        qv::sim::FirmwareConfig c;
        c.serial = "QVUSB0000" + std::to_string(k);
        usb().add_display(1, static_cast<uint8_t>(k), static_cast<uint8_t>(k + 1), c);
    }
}

int UsbTest::scan(std::vector<std::string>* serials, std::string* output) {
    char table[36] = {};
    int found = 0;
    const std::string text = output_of([&] { found = Scan(table); });
    if (output != nullptr) *output = text;
    for (int k = 0; serials != nullptr && k < found; ++k) serials->emplace_back(table + 12 * k);
    return found;
}

void UsbTest::connect_first() {
    ASSERT_GE(scan(), 1);
    output_of([] { ASSERT_EQ(Connect(0), RC_OK); });
    usb().with_display(0, [](EmulatedDisplay& d) { d.firmware.clear_requests(); });
    clock.clear_pauses();
}

}  // namespace qvtest
