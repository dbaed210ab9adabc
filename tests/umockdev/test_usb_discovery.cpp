// Discovery and connection through the real libusb on the emulated kernel bus.
#include <cerrno>
#include <string>
#include <vector>

#include "umockdev/usb_fixture.h"

namespace qvtest {
namespace {

using Listing = std::vector<std::pair<int, int>>;

Listing displays_listed() { return UsbTestbed::libusb_listing(QUORVEX_USB_VID, QUORVEX_USB_PID); }

// ---------------------------------------------------------------- enumeration

class UsbEnumeration : public UsbTest, public ::testing::WithParamInterface<int> {};

// Besides the displays the bus holds its root hub, a device of the bridge maker with another
// product id and a device of another vendor; only the displays may be opened (the fixture
// checks that nothing else was).
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

    if (count == 0) {
        EXPECT_EQ(found, RC_NO_DEVICES);
        return;
    }
    const int recorded = count < MAX_DISPLAYS ? count : MAX_DISPLAYS;
    ASSERT_EQ(found, recorded) << out;
    for (int k = 0; k < recorded; ++k) {
        SCOPED_TRACE("slot " + std::to_string(k));
        const auto [bus, address] = listed[static_cast<std::size_t>(k)];
        EXPECT_EQ(bus_num[k], bus);
        EXPECT_EQ(dev_num[k], address);
        // Display k sits at address k + 2 (port k + 1): the serial must be the one of the
        // display at the recorded address.
        EXPECT_EQ(serials[static_cast<std::size_t>(k)], "QVUSB0000" + std::to_string(address - 1));
        char line[64];
        std::snprintf(line, sizeof line, "Found Device on bus %03d and addr %03d.\n", bus, address);
        EXPECT_NE(out.find(std::string("<INFO> Scan: ") + line), std::string::npos) << out;
    }
    char ids[64];
    std::snprintf(ids, sizeof ids, "<INFO> Scan: VID=%04x PID=%04x\n", QUORVEX_USB_VID, QUORVEX_USB_PID);
    EXPECT_NE(out.find(ids), std::string::npos) << out;

    const std::string warning =
        "Warning: Maximum Limit reached. Maximum number of connected displays supported is 3 \n";
    if (count >= MAX_DISPLAYS) {
        EXPECT_TRUE(out.size() >= warning.size() && out.compare(out.size() - warning.size(), warning.size(), warning) == 0)
            << "the warning ends the scan:\n" << out;
    } else {
        EXPECT_EQ(out.find("Maximum Limit"), std::string::npos);
    }
    if (count > MAX_DISPLAYS) {
        // The fourth display in list order is never touched.
        const auto [bus, address] = listed[3];
        EXPECT_EQ(usb().read_display<int>(static_cast<std::size_t>(address - 2),
                                          [](const EmulatedDisplay& d) { return d.opens; }),
                  0);
    }
    // Nothing stays connected or open.
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(usb().open_device_files(), 0);
}

INSTANTIATE_TEST_SUITE_P(Displays, UsbEnumeration, ::testing::Values(0, 1, 2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param); });

class UsbDiscovery : public UsbTest {};

TEST_F(UsbDiscovery, EmptyBusFailsTheEnumeration) {
    std::string out;
    EXPECT_EQ(scan(nullptr, &out), RC_ENUMERATION_FAILED);
    EXPECT_EQ(out, "<ERROR> Scan: Error enumerating devices.\n");
}

TEST_F(UsbDiscovery, ConnectReadsTheMonitorTypeOfTheSlot) {
    usb().add_root_hub(1);
    usb().add_display(1, 1, 2, display_config(1, 1));
    usb().add_display(1, 2, 3, display_config(2, 2));
    ASSERT_EQ(scan(), 2);
    for (int8_t slot = 0; slot < 2; ++slot) {
        StdoutCapture capture;
        ASSERT_EQ(Connect(slot), RC_OK);
        capture.stop();
        EXPECT_EQ(ConnectFlag, 1);
        EXPECT_EQ(m_claimed_interface, 1);
        EXPECT_EQ(conn_dev_num, dev_num[slot]);
        EXPECT_EQ(gu8MonitorType, dev_num[slot] == 2 ? 1 : 2);
        char serial[11] = {};
        ASSERT_EQ(GetDisplaySerialNumber(serial), RC_OK);
        EXPECT_EQ(std::string(serial), "QVUSB0000" + std::to_string(dev_num[slot] - 1));
        EXPECT_EQ(usb().open_device_files(), 1) << "Connect to another slot closes the first display";
    }
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(usb().open_device_files(), 0);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(usb().read_display<int>(i, [](const EmulatedDisplay& d) { return d.claims - d.releases; }), 0);
}

// ---------------------------------------------------------------- the baud-rate request

struct BaudCase {
    int rate;
    uint16_t value;
    uint16_t index;
    int achieved;
    bool unsupported;
};

class UsbBaudRequest : public UsbTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(UsbBaudRequest, AsLibusbSendsIt) {
    const BaudCase& c = GetParam();
    plug_displays(1);
    ASSERT_EQ(scan(), 1);
    usb().with_display(0, [](EmulatedDisplay& d) { d.controls.clear(); });
    baudrate = c.rate;
    StdoutCapture capture;
    ASSERT_EQ(Connect(0), RC_OK);
    const std::string out = capture.stop();

    const auto controls = usb().read_display<std::vector<SetupPacket>>(0, [](const EmulatedDisplay& d) { return d.controls; });
    ASSERT_EQ(controls.size(), 1u) << "one control request per connect";
    EXPECT_EQ(controls[0].request_type, 0x40);
    EXPECT_EQ(controls[0].request, 3);
    EXPECT_EQ(controls[0].value, c.value);
    EXPECT_EQ(controls[0].index, c.index);
    EXPECT_EQ(controls[0].length, 0) << "no data stage";
    EXPECT_EQ(usb().read_display<int>(0, [](const EmulatedDisplay& d) { return d.bridge.baud_rate(); }), c.achieved);
    const bool warned =
        out.find("Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4") != std::string::npos;
    EXPECT_EQ(warned, c.unsupported) << out;
}

INSTANTIATE_TEST_SUITE_P(Rates, UsbBaudRequest,
                         ::testing::Values(BaudCase{115200, 26, 0, 115385, false},
                                           BaudCase{57600, 0xC034, 0, 57554, false},
                                           BaudCase{9600, 0x4138, 0, 9600, false},
                                           BaudCase{2000000, 2, 0, 1500000, true}),
                         [](const ::testing::TestParamInfo<BaudCase>& p) { return std::to_string(p.param.rate); });

// ---------------------------------------------------------------- kernel driver, claim, open

TEST_F(UsbDiscovery, KernelDriverIsDetachedBeforeTheClaim) {
    plug_displays(1);
    usb().with_display(0, [](EmulatedDisplay& d) { d.kernel_driver = true; });
    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1) << "the claim only succeeds once the driver is gone";
    EXPECT_EQ(serials, std::vector<std::string>{"QVUSB00001"});
    EXPECT_EQ(usb().read_display<int>(0, [](const EmulatedDisplay& d) { return d.detaches; }), 1);
    EXPECT_FALSE(usb().read_display<bool>(0, [](const EmulatedDisplay& d) { return d.kernel_driver; }));

    // Without a driver bound nothing is detached.
    StdoutCapture quiet;
    ASSERT_EQ(Connect(0), RC_OK);
    quiet.stop();
    EXPECT_EQ(usb().read_display<int>(0, [](const EmulatedDisplay& d) { return d.detaches; }), 1);
}

TEST_F(UsbDiscovery, ClaimFailureLeavesTheDeviceOpenUntilDisconnect) {
    plug_displays(1);
    ASSERT_EQ(scan(), 1);
    usb().with_display(0, [](EmulatedDisplay& d) {
        d.claim_errno = EBUSY;  // another program holds the interface
        d.firmware.clear_requests();
    });
    StdoutCapture capture;
    EXPECT_EQ(Connect(0), RC_CLAIM_FAILED);
    const std::string out = capture.stop();
    EXPECT_NE(out.find("<ERROR> Connect: Claiming interface failed\n"), std::string::npos) << out;
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(m_claimed_interface, 0);
    EXPECT_NE(g_glimmetHandle, nullptr);
    EXPECT_EQ(usb().open_device_files(), 1);
    EXPECT_EQ(usb().read_display<std::size_t>(0, [](const EmulatedDisplay& d) { return d.firmware.requests().size(); }),
              0u)
        << "nothing reaches the firmware without the claim";

    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(usb().open_device_files(), 0);
}

TEST_F(UsbDiscovery, ScanSkipsADisplayItCannotClaim) {
    plug_displays(2);
    const Listing listed = displays_listed();
    ASSERT_EQ(listed.size(), 2u);
    const auto first = static_cast<std::size_t>(listed[0].second - 2);
    const auto second = static_cast<std::size_t>(listed[1].second - 2);
    usb().with_display(first, [](EmulatedDisplay& d) { d.claim_errno = EBUSY; });
    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1);
    EXPECT_EQ(serials, std::vector<std::string>{"QVUSB0000" + std::to_string(second + 1)});
    EXPECT_EQ(dev_num[0], listed[1].second) << "the next display takes the slot";
    EXPECT_EQ(usb().open_device_files(), 0) << "the handle of the refused display is closed";
}

TEST_F(UsbDiscovery, OpenFailureNeverReachesARealDevice) {
    plug_displays(2);
    const Listing listed = displays_listed();
    ASSERT_EQ(scan(), 2);
    const auto blocked = static_cast<std::size_t>(listed[0].second - 2);
    usb().make_unopenable(blocked);
    usb().with_display(blocked, [](EmulatedDisplay& d) {
        d.firmware.clear_requests();
        d.controls.clear();
    });
    const int claims_before = usb().read_display<int>(blocked, [](const EmulatedDisplay& d) { return d.claims; });

    StdoutCapture capture;
    EXPECT_EQ(Connect(0), RC_USB_UNAVAILABLE);
    const std::string out = capture.stop();
    // libusb reports the failed open(2) of the node as an I/O error.
    EXPECT_NE(out.find("<ERROR> Connect: libusb_open failed. -1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("<Open Success>"), std::string::npos) << out;
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(usb().read_display<int>(blocked, [](const EmulatedDisplay& d) { return d.claims; }), claims_before);
    EXPECT_EQ(usb().read_display<std::size_t>(blocked, [](const EmulatedDisplay& d) { return d.controls.size(); }), 0u);

    // A scan passes over it and records the other display.
    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1);
    EXPECT_EQ(dev_num[0], listed[1].second);
    EXPECT_EQ(usb().open_device_files(), 0);
}

// ---------------------------------------------------------------- unplug and replug

TEST_F(UsbDiscovery, UnplugDuringAnExchangeFailsTheCall) {
    plug_displays(1);
    connect_first();
    const int files = usb().open_device_files();
    ASSERT_EQ(files, 1);
    usb().with_display(0, [](EmulatedDisplay& d) { d.vanish_at_next_in = true; });

    char serial[11] = "untouched";
    StdoutCapture capture;
    EXPECT_EQ(GetDisplaySerialNumber(serial), RC_EXCHANGE_FAILED);
    std::string out = capture.stop();
    EXPECT_STREQ(serial, "untouched");
    EXPECT_NE(out.find("<ERROR> RegUsbApi: Could not Read usb.\n"), std::string::npos) << out;
    // The request went out before the display vanished; every read attempt then failed and
    // cost one (virtual) second.
    EXPECT_EQ(usb().read_display<std::size_t>(0, [](const EmulatedDisplay& d) { return d.firmware.count_requests(8, 11, 0); }),
              1u);
    EXPECT_EQ(clock.count_pauses(1000000), 10u);
    EXPECT_EQ(usb().read_display<int>(0, [](const EmulatedDisplay& d) { return d.urbs_in_flight; }), 0)
        << "the transfer in flight was handed back";

    // The kernel refuses the release on a device that has gone: the connection stays as it
    // was, handle and all.
    usb().unplug(0);
    capture.start();
    EXPECT_EQ(Disconnect(), RC_FAILED);
    out = capture.stop();
    EXPECT_EQ(out, "<ERROR> Disconnect: Failed to release usb interface. Error=-4\n");
    EXPECT_EQ(ConnectFlag, 1);
    EXPECT_NE(g_glimmetHandle, nullptr);

    // Further calls fail at once with the code libusb gives for a device that has gone.
    uint8_t packet[32] = {8, 0, 0, 0, 20, 0};
    capture.start();
    EXPECT_EQ(WritePort(packet, sizeof packet), -4);
    capture.stop();

    // Nothing left to find at the recorded address; the stale handle is closed by the next
    // connect that opens a display.
    capture.start();
    EXPECT_EQ(Connect(0), RC_NOT_FOUND);
    capture.stop();
    usb().replug(0, 9);
    ASSERT_EQ(scan(), 1);
    EXPECT_EQ(usb().open_device_files(), 0);
    EXPECT_EQ(g_glimmetHandle, nullptr);
}

TEST_F(UsbDiscovery, ReplugAtANewAddressNeedsANewScan) {
    plug_displays(1);
    connect_first();
    ASSERT_EQ(Disconnect(), RC_OK);
    const int8_t old_address = dev_num[0];

    usb().replug(0, 9);
    StdoutCapture capture;
    EXPECT_EQ(Connect(0), RC_NOT_FOUND);
    EXPECT_EQ(capture.stop(), "<INFO> Connect: No Devices Found.\n");
    EXPECT_EQ(dev_num[0], old_address);
    EXPECT_EQ(ConnectFlag, 0);

    std::vector<std::string> serials;
    ASSERT_EQ(scan(&serials), 1);
    EXPECT_EQ(dev_num[0], 9);
    EXPECT_EQ(serials, std::vector<std::string>{"QVUSB00001"});
    capture.start();
    ASSERT_EQ(Connect(0), RC_OK);
    capture.stop();
    char serial[11] = {};
    EXPECT_EQ(GetDisplaySerialNumber(serial), RC_OK);
    EXPECT_STREQ(serial, "QVUSB00001");
}

}  // namespace
}  // namespace qvtest
