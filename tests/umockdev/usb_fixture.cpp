#include "umockdev/usb_fixture.h"

#include <cstdlib>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"

namespace qvtest {

namespace {

// The testbed's files go when the last test of the process is done.
class TestbedCleanup : public ::testing::Environment {
public:
    void TearDown() override { UsbTestbed::shutdown(); }
};

[[maybe_unused]] const ::testing::Environment* const cleanup =
    ::testing::AddGlobalTestEnvironment(new TestbedCleanup);

}  // namespace

void UsbTest::SetUp() {
    testbed_ = &UsbTestbed::instance();
    if (!testbed_->emulating()) {
        // Without umockdev's preload library nothing is redirected: the library would reach the
        // real USB bus of this machine. CTest always runs these tests under the wrapper.
        if (std::getenv("QUORVEX_UMOCKDEV_REQUIRED") != nullptr)
            FAIL() << "not running under umockdev-wrapper";
        GTEST_SKIP() << "run under umockdev-wrapper to emulate the USB bus";
    }
    unsetenv("QUORVEX_SIMULATE");
    qv::install_usb_backend(nullptr);  // the library's own choice: libusb
    qv::install_clock(&clock);
    reset_library_state();
    testbed_->reset(&clock);
}

void UsbTest::TearDown() {
    if (testbed_ == nullptr || !testbed_->emulating()) return;
    // Close whatever the test left open (a release that failed keeps the handle otherwise).
    LogMessage = 0;
    m_claimed_interface = 0;
    Disconnect();
    EXPECT_EQ(testbed_->unknown_requests(), std::vector<std::string>{});
    EXPECT_EQ(testbed_->foreign_opens(), 0) << "a device that is not a display was opened";
    testbed_->reset(nullptr);
    qv::install_clock(nullptr);
    reset_library_state();
}

qv::sim::FirmwareConfig UsbTest::display_config(int k, uint8_t monitor_type) const {
    qv::sim::FirmwareConfig c;
    c.serial = "QVUSB0000" + std::to_string(k);
    c.monitor_type = monitor_type;
    return c;
}

void UsbTest::plug_displays(int count, uint8_t monitor_type) {
    usb().add_root_hub(1);
    for (int k = 1; k <= count; ++k)
        usb().add_display(1, static_cast<uint8_t>(k), static_cast<uint8_t>(k + 1), display_config(k, monitor_type));
}

std::vector<std::string> serials_of(const std::array<char, 36>& table, int found) {
    std::vector<std::string> out;
    for (int k = 0; k < found; ++k) out.emplace_back(table.data() + 12 * k);
    return out;
}

int UsbTest::scan(std::vector<std::string>* serials, std::string* output) {
    std::array<char, 36> table{};
    StdoutCapture capture;
    const int found = Scan(table.data());
    const std::string text = capture.stop();
    if (output != nullptr) *output = text;
    if (serials != nullptr) *serials = serials_of(table, found);
    return found;
}

void UsbTest::connect_first() {
    ASSERT_GE(scan(), 1);
    StdoutCapture quiet;
    const int rc = Connect(0);
    quiet.stop();
    ASSERT_EQ(rc, RC_OK);
    for (std::size_t i = 0; i < usb().display_count(); ++i)
        usb().with_display(i, [](EmulatedDisplay& d) { d.firmware.clear_requests(); });
    clock.clear_pauses();
}

}  // namespace qvtest
