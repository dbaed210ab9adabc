// Port I/O through the real libusb on the emulated kernel bus: the bridge's 64-byte packets,
// its IN queue across reads, and a long run of exchanges.
#include "umockdev/usb_fixture.h"

namespace qvtest {
namespace {

class UsbPortIo : public UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        plug_displays(1);
        connect_first();
        LogMessage = 0;
    }
    std::size_t pending() { return seen(0, [](const EmulatedDisplay& d) { return d.bridge.pending(); }); }
};

// A request the display does not know comes back whole with 0xFF in byte 1. A reply over 62
// bytes fills several bridge packets of one transfer, each with its two status bytes.
TEST_F(UsbPortIo, LongReplyArrivesAsSeveralBridgePackets) {
    for (const int length : {63, 103, 122, 124, 125, 184}) {
        SCOPED_TRACE(length);
        std::vector<uint8_t> packet(static_cast<std::size_t>(length));
        packet[0] = 0x70;
        for (std::size_t i = 2; i < packet.size(); ++i) packet[i] = static_cast<uint8_t>(i * 7 + 3);
        std::vector<uint8_t> expected = packet;
        expected[1] = 0xFF;
        ASSERT_EQ(RegUsbApi(packet.data(), static_cast<uint16_t>(length)), RC_OK);
        EXPECT_EQ(packet, expected);
        EXPECT_EQ(seen(0, &EmulatedDisplay::in_lengths).back(), length + 2 * ((length + 61) / 62));
    }
    EXPECT_TRUE(clock.pauses().empty());
}

// The bridge hands over at most 20 data bytes per transfer: a read ends with the first transfer
// that brings data and the rest waits for the next read, or for the drain at the next connect.
TEST_F(UsbPortIo, ReplySplitAcrossTransfers) {
    usb().with_display(0, [](EmulatedDisplay& d) { d.bridge.faults.split_data = 20; });
    uint8_t reply[32] = {8, 0, 0, 0, 11};  // get the serial number
    ASSERT_EQ(WritePort(reply, sizeof reply), 0);
    uint16_t count = 32;
    ASSERT_EQ(ReadPort(reply, &count, 10000), 0);
    EXPECT_EQ(count, 20);
    count = 32;
    ASSERT_EQ(ReadPort(reply + 20, &count, 10000), 0);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply), 32),
              std::string("\x08\0\0\0\x0b\0\0QVUSB00001", 17) + std::string(15, '\0'));
    EXPECT_EQ(pending(), 0u);

    char serial[11] = {};
    ASSERT_EQ(GetDisplaySerialNumber(serial), RC_OK);  // within the first 20 bytes
    EXPECT_EQ(pending(), 12u);
    ASSERT_EQ(Disconnect(), RC_OK);
    usb().with_display(0, [](EmulatedDisplay& d) { d.bridge.faults.split_data = -1; d.firmware.monitor_type = 1; });
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(gu8MonitorType, 1);
    EXPECT_EQ(pending(), 0u);
    EXPECT_TRUE(clock.pauses().empty());
}

// Every reply is the one to its own request (the display's answer changes each time), no read
// needs a second attempt, no transfer stays in flight and no handle is left behind.
TEST_F(UsbPortIo, ThousandExchangesInARow) {
    const int submitted = seen(0, &EmulatedDisplay::urbs_submitted);
    output_of([&] {  // the monitor type's line is printed whatever the log switch
        for (int i = 0; i < 1000; ++i) {
            usb().with_display(0, [i](EmulatedDisplay& d) { d.firmware.monitor_type = static_cast<uint8_t>(i); });
            uint8_t type = static_cast<uint8_t>(i + 1);
            ASSERT_EQ(GetMonitorType(&type), RC_OK) << i;
            ASSERT_EQ(type, static_cast<uint8_t>(i)) << i;
        }
    });
    EXPECT_EQ(seen(0, [](const EmulatedDisplay& d) { return d.firmware.requests().size(); }), 1000u);
    EXPECT_EQ(seen(0, &EmulatedDisplay::urbs_submitted) - submitted, 2000) << "one OUT and one IN each";
    EXPECT_EQ(seen(0, &EmulatedDisplay::urbs_in_flight), 0);
    EXPECT_EQ(pending(), 0u);
    EXPECT_TRUE(clock.pauses().empty());
    EXPECT_EQ(usb().open_device_files(), 1);
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(usb().open_device_files(), 0);
}

}  // namespace
}  // namespace qvtest
