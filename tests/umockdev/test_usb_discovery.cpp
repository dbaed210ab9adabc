// Discovery and connection through the real libusb on the emulated kernel bus.
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "umockdev/usb_fixture.h"

namespace qvtest {
namespace {

using Listing = std::vector<std::pair<int, int>>;  // (bus, address) in libusb's list order
Listing displays_listed() { return UsbTestbed::libusb_listing(QUORVEX_USB_VID, QUORVEX_USB_PID); }

class UsbEnumeration : public UsbTest, public ::testing::WithParamInterface<int> {};

// Besides the displays the bus holds its root hub, a device of the bridge maker with another
// product id and one of another vendor: none may be opened (the fixture checks). The scan
// records at most three displays in list order, each with the serial of the display at its
// address, ends with a warning when it stops at three, and leaves nothing open.
TEST_P(UsbEnumeration, ScanRecordsDisplaysInListOrder) {
    const int count = GetParam();
    plug_displays(count);
    usb().add_other_device(1, 7, 20, QUORVEX_USB_VID, 0x6001);
    usb().add_other_device(1, 8, 21, 0x046d, 0xc52b);
    const Listing listed = displays_listed();
    ASSERT_EQ(listed.size(), static_cast<std::size_t>(count));
    std::vector<std::string> serials;
    std::string out;
    const int found = scan(&serials, &out);
    const int recorded = std::min(count, MAX_DISPLAYS);
    ASSERT_EQ(found, count == 0 ? RC_NO_DEVICES : recorded) << out;

    for (int k = 0; k < recorded; ++k) {
        const auto [bus, address] = listed[static_cast<std::size_t>(k)];
        EXPECT_EQ(std::make_pair(int{bus_num[k]}, int{dev_num[k]}), std::make_pair(bus, address));
        EXPECT_EQ(serials[static_cast<std::size_t>(k)], "QVUSB0000" + std::to_string(address - 1));
        char line[96];
        std::snprintf(line, sizeof line,
                      "<INFO> Scan: VID=%04x PID=%04x\n<INFO> Scan: Found Device on bus %03d and addr %03d.\n",
                      QUORVEX_USB_VID, QUORVEX_USB_PID, bus, address);
        EXPECT_NE(out.find(line), std::string::npos) << out;
    }
    const std::string warning = "Warning: Maximum Limit reached. Maximum number of connected displays supported is 3 \n";
    EXPECT_EQ(out.ends_with(warning), count >= MAX_DISPLAYS) << out;
    if (count > MAX_DISPLAYS) {
        EXPECT_EQ(seen(static_cast<std::size_t>(listed[3].second - 2), &EmulatedDisplay::opens), 0) << "the fourth";
    }
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(usb().open_device_files(), 0);
}

INSTANTIATE_TEST_SUITE_P(Displays, UsbEnumeration, ::testing::Values(0, 1, 2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param); });

class UsbDiscovery : public UsbTest {};

// The bridge's baud-rate request as libusb sends it: one vendor request per connect, no data
// stage; a rate too far from what the bridge can do gets the warning.
TEST_F(UsbDiscovery, BaudRequest) {
    const struct {
        int rate, value, achieved;
        bool warned;
    } cases[] = {{115200, 26, 115385, false}, {57600, 0xC034, 57554, false}, {9600, 0x4138, 9600, false},
                 {2000000, 2, 1500000, true}};
    plug_displays(1);
    ASSERT_EQ(scan(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        usb().with_display(0, [](EmulatedDisplay& d) { d.controls.clear(); });
        baudrate = c.rate;
        const std::string out = output_of([] { EXPECT_EQ(Connect(0), RC_OK); });
        const auto controls = seen(0, &EmulatedDisplay::controls);
        ASSERT_EQ(controls.size(), 1u);
        const SetupPacket& s = controls[0];
        EXPECT_EQ(std::vector<int>({s.request_type, s.request, s.value, s.index, s.length}),
                  std::vector<int>({0x40, 3, c.value, 0, 0}));
        EXPECT_EQ(seen(0, [](const EmulatedDisplay& d) { return d.bridge.baud_rate(); }), c.achieved);
        EXPECT_EQ(out.find("Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4\n") !=
                      std::string::npos, c.warned) << out;
    }
}

TEST_F(UsbDiscovery, KernelDriverIsDetachedBeforeTheClaim) {
    plug_displays(1);
    usb().with_display(0, [](EmulatedDisplay& d) { d.kernel_driver = true; });
    ASSERT_EQ(scan(), 1) << "the claim succeeds only once the driver is gone";
    EXPECT_EQ(seen(0, &EmulatedDisplay::detaches), 1);
    EXPECT_FALSE(seen(0, &EmulatedDisplay::kernel_driver));
    output_of([] { EXPECT_EQ(Connect(0), RC_OK); });
    EXPECT_EQ(seen(0, &EmulatedDisplay::detaches), 1) << "with no driver bound nothing is detached";
}

// A display another program holds: Scan passes over it and closes it; Connect keeps the handle
// (unclaimed, nothing sent) until Disconnect. One that cannot be opened fails the open as
// libusb's I/O error; its node is never removed, or umockdev would let the open reach a real
// device at that address.
TEST_F(UsbDiscovery, ClaimAndOpenFailures) {
    plug_displays(2);
    const Listing listed = displays_listed();
    const auto first = static_cast<std::size_t>(listed.at(0).second - 2), second = 1 - first;
    usb().with_display(first, [](EmulatedDisplay& d) { d.claim_errno = EBUSY; });
    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1);
    EXPECT_EQ(serials, std::vector<std::string>{"QVUSB0000" + std::to_string(second + 1)});
    EXPECT_EQ(dev_num[0], listed[1].second);
    EXPECT_EQ(usb().open_device_files(), 0);

    usb().with_display(second, [](EmulatedDisplay& d) { d.claim_errno = EBUSY; d.firmware.clear_requests(); });
    std::string out = output_of([] { EXPECT_EQ(Connect(0), RC_CLAIM_FAILED); });
    EXPECT_NE(out.find("<ERROR> Connect: Claiming interface failed\n"), std::string::npos) << out;
    EXPECT_EQ(std::make_pair(ConnectFlag, int{m_claimed_interface}), std::make_pair(0, 0));
    EXPECT_EQ(usb().open_device_files(), 1);
    EXPECT_EQ(seen(second, [](const EmulatedDisplay& d) { return d.firmware.requests().size(); }), 0u);
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(usb().open_device_files(), 0);

    usb().make_unopenable(second);
    usb().with_display(second, [](EmulatedDisplay& d) { d.controls.clear(); });
    out = output_of([] { EXPECT_EQ(Connect(0), RC_USB_UNAVAILABLE); });
    EXPECT_NE(out.find("<ERROR> Connect: libusb_open failed. -1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("<Open Success>"), std::string::npos) << out;
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_TRUE(seen(second, &EmulatedDisplay::controls).empty());
    EXPECT_EQ(scan(), RC_NO_DEVICES) << "a scan passes over both";
    EXPECT_EQ(usb().open_device_files(), 0);
}

// Pulled out while a reply is awaited: the call fails after its read attempts (virtual
// seconds), the transfer in flight is handed back, and the kernel refuses the release, so the
// connection stays as it was. Plugged in again at a new address, the display is not found
// until the next Scan; then it works and the stale handle is gone.
TEST_F(UsbDiscovery, UnplugDuringAnExchangeThenReplug) {
    plug_displays(1);
    connect_first();
    const int8_t old_address = dev_num[0];
    usb().with_display(0, [](EmulatedDisplay& d) { d.vanish_at_next_in = true; });
    char serial[11] = "untouched";
    std::string out = output_of([&] { EXPECT_EQ(GetDisplaySerialNumber(serial), RC_EXCHANGE_FAILED); });
    EXPECT_STREQ(serial, "untouched");
    EXPECT_NE(out.find("<ERROR> RegUsbApi: Could not Read usb.\n"), std::string::npos) << out;
    EXPECT_EQ(seen(0, [](const EmulatedDisplay& d) { return d.firmware.count_requests(8, 11, 0); }), 1u);
    EXPECT_EQ(clock.count_pauses(1000000), 10u);
    EXPECT_EQ(seen(0, &EmulatedDisplay::urbs_in_flight), 0);

    usb().unplug(0);
    EXPECT_EQ(output_of([] { EXPECT_EQ(Disconnect(), RC_FAILED); }),
              "<ERROR> Disconnect: Failed to release usb interface. Error=-4\n");
    EXPECT_EQ(ConnectFlag, 1);
    EXPECT_NE(g_glimmetHandle, nullptr);

    usb().replug(0, 9);
    EXPECT_EQ(output_of([] { EXPECT_EQ(Connect(0), RC_NOT_FOUND); }),  // the connection it drops first
              "<ERROR> Disconnect: Failed to release usb interface. Error=-4\n<INFO> Connect: No Devices Found.\n");
    EXPECT_EQ(dev_num[0], old_address);
    EXPECT_EQ(ConnectFlag, 0);
    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1);
    EXPECT_EQ(dev_num[0], 9);
    EXPECT_EQ(serials, std::vector<std::string>{"QVUSB00001"});
    EXPECT_EQ(usb().open_device_files(), 0);
    output_of([] { ASSERT_EQ(Connect(0), RC_OK); });
    EXPECT_EQ(GetDisplaySerialNumber(serial), RC_OK);
    EXPECT_STREQ(serial, "QVUSB00001");
}

}  // namespace
}  // namespace qvtest
