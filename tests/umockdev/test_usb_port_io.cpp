// Port I/O through the real libusb on the emulated kernel bus: the bridge's 64-byte packets,
// its IN queue across reads, and a long run of exchanges.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "umockdev/usb_fixture.h"

namespace qvtest {
namespace {

// The serial number the display reports during part `part` of a long run.
std::string run_serial(int part) {
    char text[16];
    std::snprintf(text, sizeof text, "RUN%07d", part % 10000000);
    return text;
}

class UsbPortIo : public UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        plug_displays(1);
        connect_first();
        LogMessage = 0;
    }
    template <class T>
    T display(T (*f)(const EmulatedDisplay&)) {
        return usb().read_display<T>(0, f);
    }
};

// A request the display does not know comes back whole, its status byte (byte 1 outside the
// settings packets) set to 0xFF. Replies longer than 62 bytes fill several bridge packets of
// one transfer, each with its two status bytes.
class UsbLongReply : public UsbPortIo, public ::testing::WithParamInterface<int> {};

TEST_P(UsbLongReply, ArrivesAsSeveralBridgePackets) {
    const int length = GetParam();
    std::vector<uint8_t> packet(static_cast<std::size_t>(length));
    packet[0] = 0x70;  // an opcode this display does not know
    for (std::size_t i = 2; i < packet.size(); ++i) packet[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> expected = packet;
    expected[1] = 0xFF;

    ASSERT_EQ(RegUsbApi(packet.data(), static_cast<uint16_t>(length)), RC_OK);
    EXPECT_EQ(packet, expected);
    const int bridge_packets = (length + 61) / 62;
    ASSERT_GE(bridge_packets, 2);
    const auto in_lengths = display<std::vector<int>>([](const EmulatedDisplay& d) { return d.in_lengths; });
    ASSERT_FALSE(in_lengths.empty());
    EXPECT_EQ(in_lengths.back(), length + 2 * bridge_packets) << "one transfer of " << bridge_packets << " packets";
    EXPECT_TRUE(clock.pauses().empty());
}

INSTANTIATE_TEST_SUITE_P(Lengths, UsbLongReply, ::testing::Values(63, 103, 122, 124, 125, 184),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param); });

// The bridge hands over at most 20 data bytes per transfer here: a read ends with the first
// transfer that brings data, the rest waits in the bridge's queue for the next read.
TEST_F(UsbPortIo, ReplySplitAcrossTransfers) {
    usb().with_display(0, [](EmulatedDisplay& d) { d.bridge.faults.split_data = 20; });
    std::array<uint8_t, 32> request{};
    request[0] = 8;   // get
    request[4] = 11;  // serial number
    ASSERT_EQ(WritePort(request.data(), static_cast<uint16_t>(request.size())), 0);

    std::array<uint8_t, 32> head{};
    uint16_t count = 32;
    ASSERT_EQ(ReadPort(head.data(), &count, 10000), 0);
    EXPECT_EQ(count, 20);
    std::array<uint8_t, 32> tail{};
    count = 32;
    ASSERT_EQ(ReadPort(tail.data(), &count, 10000), 0);
    EXPECT_EQ(count, 12);

    std::array<uint8_t, 32> reply{};
    std::memcpy(reply.data(), head.data(), 20);
    std::memcpy(reply.data() + 20, tail.data(), 12);
    EXPECT_EQ(reply[0], 8);
    EXPECT_EQ(reply[4], 11);
    EXPECT_EQ(reply[6], 0) << "status";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data() + 7), 10), "QVUSB00001");
    EXPECT_TRUE(std::all_of(reply.begin() + 17, reply.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(display<std::size_t>([](const EmulatedDisplay& d) { return d.bridge.pending(); }), 0u);
    EXPECT_TRUE(clock.pauses().empty());
}

// What an earlier session left in the bridge's queue is drained at connect, so the monitor
// type read at connect and the next exchange get their own replies.
TEST_F(UsbPortIo, ConnectDrainsWhatAReadLeftBehind) {
    usb().with_display(0, [](EmulatedDisplay& d) { d.bridge.faults.split_data = 20; });
    char serial[11] = {};
    ASSERT_EQ(GetDisplaySerialNumber(serial), RC_OK);
    EXPECT_STREQ(serial, "QVUSB00001") << "the serial lies within the first 20 bytes";
    EXPECT_EQ(display<std::size_t>([](const EmulatedDisplay& d) { return d.bridge.pending(); }), 12u);

    ASSERT_EQ(Disconnect(), RC_OK);
    usb().with_display(0, [](EmulatedDisplay& d) {
        d.bridge.faults.split_data = -1;
        d.firmware.monitor_type = 1;
    });
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(gu8MonitorType, 1);
    EXPECT_EQ(display<std::size_t>([](const EmulatedDisplay& d) { return d.bridge.pending(); }), 0u);
    std::memset(serial, 0, sizeof serial);
    ASSERT_EQ(GetDisplaySerialNumber(serial), RC_OK);
    EXPECT_STREQ(serial, "QVUSB00001");
}

// With nothing pending the bridge answers every IN request with its status bytes alone; each
// such attempt costs one second, on the virtual clock.
TEST_F(UsbPortIo, ReadWithNothingPendingTakesItsAttempts) {
    const int in_before = display<int>([](const EmulatedDisplay& d) { return static_cast<int>(d.in_lengths.size()); });
    std::array<uint8_t, 32> packet{};
    packet.fill(0x5A);
    uint16_t count = 32;
    EXPECT_EQ(ReadPort(packet.data(), &count, 10000), RC_FAILED);
    EXPECT_EQ(count, 32);
    EXPECT_TRUE(std::all_of(packet.begin(), packet.end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_EQ(clock.count_pauses(1000000), 10u);
    const auto in_lengths = display<std::vector<int>>([](const EmulatedDisplay& d) { return d.in_lengths; });
    ASSERT_EQ(in_lengths.size(), static_cast<std::size_t>(in_before) + 10u);
    EXPECT_TRUE(std::all_of(in_lengths.begin() + in_before, in_lengths.end(), [](int n) { return n == 2; }));
}

// A thousand exchanges in a row: every reply is the reply to its own request (the display's
// answers change as it goes), no read needs a second attempt, no transfer stays in flight and
// no handle is left behind.
TEST_F(UsbPortIo, ThousandExchangesInARow) {
    const int files = usb().open_device_files();
    const int submitted_before = display<int>([](const EmulatedDisplay& d) { return d.urbs_submitted; });
    constexpr int kExchanges = 1000;
    for (int i = 0; i < kExchanges; ++i) {
        if (i % 100 == 0) {
            usb().with_display(0, [i](EmulatedDisplay& d) {
                d.firmware.serial = run_serial(i / 100);
                d.firmware.monitor_type = static_cast<uint8_t>(i / 100);
            });
        }
        if (i % 2 == 0) {
            char serial[11] = {};
            ASSERT_EQ(GetDisplaySerialNumber(serial), RC_OK) << "exchange " << i;
            ASSERT_EQ(std::string(serial), run_serial(i / 100)) << "exchange " << i;
        } else {
            uint8_t type = 0xEE;
            ASSERT_EQ(GetMonitorType(&type), RC_OK) << "exchange " << i;
            ASSERT_EQ(type, i / 100) << "exchange " << i;
        }
    }
    EXPECT_EQ(display<std::size_t>([](const EmulatedDisplay& d) { return d.firmware.requests().size(); }),
              static_cast<std::size_t>(kExchanges));
    // One OUT and one IN transfer per exchange, each reaped.
    EXPECT_EQ(display<int>([](const EmulatedDisplay& d) { return d.urbs_submitted; }) - submitted_before, 2 * kExchanges);
    EXPECT_EQ(display<int>([](const EmulatedDisplay& d) { return d.urbs_in_flight; }), 0);
    EXPECT_EQ(display<std::size_t>([](const EmulatedDisplay& d) { return d.bridge.pending(); }), 0u);
    EXPECT_TRUE(clock.pauses().empty());
    EXPECT_EQ(usb().open_device_files(), files);
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(usb().open_device_files(), 0);
}

}  // namespace
}  // namespace qvtest
