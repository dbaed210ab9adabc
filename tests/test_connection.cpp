// Discovery and connection: Scan, Connect and Disconnect against the simulated bus. (The walk
// over zero to four displays, skipped and re-plugged displays and the kernel driver are the
// umockdev tests', on the real libusb backend.)
#include <cstring>
#include <string>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::FirmwareConfig;

class Connection : public SimTest {
protected:
    int scan(char* serials) {
        StdoutCapture quiet;
        return Scan(serials);
    }
    int scan() {
        char serials[36];
        return scan(serials);
    }
    // A bus of one display, scanned: slot 0 is recorded and not connected.
    void scanned(uint8_t monitor_type = 2) {
        make_bus(1, monitor_type);
        ASSERT_EQ(scan(), 1);
    }
};

TEST_F(Connection, OneDisplayIsRecordedAndLeftClosed) {
    make_bus(1, 7);
    char serials[36];
    std::memset(serials, 0x55, sizeof serials);
    EXPECT_EQ(scan(serials), 1);
    EXPECT_STREQ(serials, "QVTEST0001");
    EXPECT_EQ(serials[11], 0x55) << "byte 11 of an entry is not written";
    EXPECT_EQ(bus_num[0], 1);
    EXPECT_EQ(dev_num[0], 2);
    EXPECT_EQ(gu8MonitorType, 7) << "the type of the last display the scan connected";
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(m_claimed_interface, 0);
    EXPECT_EQ(bus->open_handles(), 0);
    EXPECT_EQ(bus->open_lists(), 0);
}

TEST_F(Connection, ScanLogLinesForOneDisplay) {
    make_bus(1);
    char serials[36];
    const std::string out = output_of([&] { Scan(serials); });
    EXPECT_EQ(out,
              "<INFO> Scan: VID=0403 PID=d15c\n"
              "<INFO> Scan: Found Device on bus 001 and addr 002.\n"
              "<INFO> Connect: Found Device on bus 001 and addr 002.\n"
              "<Open Success> Connect: libusb_open Success. 0\n"
              "<Open Success> Connect: libusb_claim_interface Success. 0\n"
              "<INFO> WritePort:Usb write success ,written '32' bytes\n"
              "<INFO> ReadPort: Read '32' bytes from Quorvex device\n"
              "Moniter Type is 2\n"
              "<INFO> WritePort:Usb write success ,written '32' bytes\n"
              "<INFO> ReadPort: Read '32' bytes from Quorvex device\n"
              "Serial Number is QVTEST0001 \n"
              "<INFO> Disconnect: Successfully Closed the usb interface.\n");
}

TEST_F(Connection, ScanWithLoggingOffPrintsOnlyTheMonitorTypeLines) {
    make_bus(2);
    SetLog(0);
    char serials[36];
    const std::string out = output_of([&] { EXPECT_EQ(Scan(serials), 2); });
    EXPECT_EQ(out, "Moniter Type is 2\nMoniter Type is 2\n");
}

TEST_F(Connection, DisplayWhoseSerialCannotBeReadGivesUpItsSlot) {
    make_bus(3);
    fw(1).refuse(8, 11, 0, 1);  // the second display refuses its serial number
    char serials[36];
    EXPECT_EQ(scan(serials), 2);
    EXPECT_STREQ(serials, "QVTEST0001");
    EXPECT_STREQ(serials + 12, "QVTEST0003");
    EXPECT_EQ(dev_num[0], 2);
    EXPECT_EQ(dev_num[1], 4) << "the third display took the second slot";
    EXPECT_EQ(fw(1).count_requests(8, 11, 0), 1u) << "the second display was connected and asked";
    EXPECT_EQ(bus->open_handles(), 0) << "and disconnected again";
}

TEST_F(Connection, UnreadableDescriptorIsReportedAndSkipped) {
    make_bus(2);
    bus->display(0).faults.descriptor_error = qv::USB_ERROR_IO;
    char serials[36];
    const std::string out = output_of([&] { EXPECT_EQ(Scan(serials), 1); });
    EXPECT_NE(out.find("<INFO> Scan: Failed to get device descriptor. -1\n"), std::string::npos);
    EXPECT_STREQ(serials, "QVTEST0002");
}

TEST_F(Connection, UsbUnavailableAndEnumerationFailures) {
    make_bus(1);
    bus->faults.init_error = qv::USB_ERROR_OTHER;
    char serials[36];
    std::string out = output_of([&] { EXPECT_EQ(Scan(serials), RC_USB_UNAVAILABLE); });
    EXPECT_EQ(out, "<ERROR> Scan: Can't open libusb.\n");

    bus->faults.init_error = 0;
    for (ssize_t count : {ssize_t{0}, ssize_t{-1}}) {
        bus->faults.override_count = true;
        bus->faults.count = count;
        out = output_of([&] { EXPECT_EQ(Scan(serials), RC_ENUMERATION_FAILED); });
        EXPECT_EQ(out, "<ERROR> Scan: Error enumerating devices.\n");
        out = output_of([&] { EXPECT_EQ(Connect(0), RC_ENUMERATION_FAILED); });
        EXPECT_EQ(out, "<ERROR> Connect: Error enumerating devices.\n");
    }
}

TEST_F(Connection, SlotOutOfRangeChangesNothing) {
    connect_first();
    for (int slot : {3, -1, 127, -128}) {
        const std::string out = output_of([&] { EXPECT_EQ(Connect(static_cast<int8_t>(slot)), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(ConnectFlag, 1);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Connection, ConnectingTheConnectedSlotReconnects) {
    connect_first();
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_OK); });
    EXPECT_EQ(out.rfind("<INFO> Disconnect: Successfully Closed the usb interface.\n", 0), 0u)
        << "it disconnects first:\n" << out;
    EXPECT_EQ(bus->open_handles(), 1);
    EXPECT_EQ(ConnectFlag, 1);
    EXPECT_EQ(fw().count_requests(8, 20, 0), 1u) << "and reads the monitor type again";
}

TEST_F(Connection, ConnectToAnotherSlotLeavesOneConnection) {
    make_bus(2, 1);
    bus->firmware(1).monitor_type = 2;
    connect_first();
    EXPECT_EQ(gu8MonitorType, 1);
    StdoutCapture quiet;
    EXPECT_EQ(Connect(1), RC_OK);
    quiet.stop();
    EXPECT_EQ(gu8MonitorType, 2);
    EXPECT_EQ(bus->open_handles(), 1);
    EXPECT_EQ(bus->display(0).opens, 0);
    EXPECT_EQ(bus->display(1).opens, 1);
}

TEST_F(Connection, UnplugDuringUseFailsTheCallAndDisconnectStillWorks) {
    connect_first();
    bus->unplug(0);
    int16_t v = 5;
    StdoutCapture capture;
    EXPECT_EQ(GetDisplayLuminance(&v), RC_EXCHANGE_FAILED);
    const std::string out = capture.stop();
    EXPECT_NE(out.find("<ERROR> WritePort: Write failed. Error -4\n"), std::string::npos);
    EXPECT_NE(out.find("<ERROR> RegUsbApi: Could not Write usb.\n"), std::string::npos);
    EXPECT_EQ(v, 5);
    // Releasing fails (no device): Disconnect reports it and keeps the handle.
    StdoutCapture capture2;
    EXPECT_EQ(Disconnect(), RC_FAILED);
    EXPECT_EQ(capture2.stop(), "<ERROR> Disconnect: Failed to release usb interface. Error=-4\n");
    EXPECT_NE(g_glimmetHandle, nullptr);
    // A new scan finds nothing; nothing leaks.
    EXPECT_EQ(scan(), RC_NO_DEVICES);
    EXPECT_EQ(bus->open_lists(), 0);
}

TEST_F(Connection, ConnectWithoutScanInitialisesAndFindsNothingRecorded) {
    make_bus(1);
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_NOT_FOUND); });
    EXPECT_EQ(bus->init_calls(), 1);
    EXPECT_EQ(out, "<INFO> Connect: No Devices Found.\n");
    make_bus(1);
    bus->faults.init_error = qv::USB_ERROR_OTHER;
    EXPECT_EQ(Connect(0), RC_USB_UNAVAILABLE);
}

TEST_F(Connection, ClaimFailureLeavesTheDeviceOpenUntilDisconnect) {
    scanned();
    bus->display(0).faults.claim_error = qv::USB_ERROR_BUSY;
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_CLAIM_FAILED); });
    EXPECT_NE(out.find("<ERROR> Connect: Claiming interface failed\n"), std::string::npos);
    EXPECT_NE(g_glimmetHandle, nullptr);
    EXPECT_EQ(m_claimed_interface, 0);
    EXPECT_EQ(ConnectFlag, 0);
    EXPECT_EQ(bus->open_handles(), 1);

    // A second attempt closes the handle left open before opening again.
    StdoutCapture quiet;
    EXPECT_EQ(Connect(0), RC_CLAIM_FAILED);
    EXPECT_EQ(bus->open_handles(), 1);
    bus->display(0).faults.claim_error = 0;
    EXPECT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(bus->open_handles(), 1);
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(bus->open_handles(), 0);
}

TEST_F(Connection, FailedDrainLeavesTheConnectionUp) {
    scanned();
    bus->display(0).faults.drain_error = qv::USB_ERROR_IO;
    fw().clear_requests();
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_FAILED); });
    EXPECT_EQ(out.find("usb bulk read failed"), std::string::npos) << "the drain prints nothing";
    EXPECT_EQ(ConnectFlag, 1);
    EXPECT_EQ(m_claimed_interface, 1);
    EXPECT_EQ(fw().count_requests(8, 20, 0), 0u) << "the monitor type is not read";
}

TEST_F(Connection, DrainDiscardsWhatTheBridgeStillHeld) {
    scanned();
    bus->bridge(0).push_raw({9, 9, 9, 9});  // left over from an earlier session
    StdoutCapture quiet;
    EXPECT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(bus->bridge(0).pending(), 0u);
    EXPECT_EQ(gu8MonitorType, 2);
}

TEST_F(Connection, MonitorTypeFailureKeepsThePreviousType) {
    scanned(1);
    EXPECT_EQ(gu8MonitorType, 1);
    fw().monitor_type = 2;
    fw().refuse(8, 20, 0, 3);
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_MONITOR_TYPE_FAILED); });
    EXPECT_NE(out.find("<ERROR> GetMonitorType: RegUsbApi Status Failed.\n"), std::string::npos);
    EXPECT_EQ(gu8MonitorType, 1);
    EXPECT_EQ(ConnectFlag, 1);
}

TEST_F(Connection, ReleaseFailureCodes) {
    connect_first();
    bus->display(0).faults.release_error = qv::USB_ERROR_BUSY;
    std::string out = output_of([&] { EXPECT_EQ(Disconnect(), RC_OK); });
    EXPECT_EQ(out, "<ERROR> Disconnect: Failed to release usb interface. Error=-6\n");
    EXPECT_EQ(ConnectFlag, 1) << "nothing changes when the release fails";
    EXPECT_EQ(m_claimed_interface, 1);
    EXPECT_NE(g_glimmetHandle, nullptr);

    bus->display(0).faults.release_error = qv::USB_ERROR_IO;
    out = output_of([&] { EXPECT_EQ(Disconnect(), RC_FAILED); });
    EXPECT_EQ(out, "<ERROR> Disconnect: Failed to release usb interface. Error=-1\n");

    // Connect closes the handle the failed release left open, the release still failing.
    StdoutCapture quiet;
    EXPECT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(bus->open_handles(), 1);
    bus->display(0).faults.release_error = 0;
}

TEST_F(Connection, DisconnectWithNothingOpen) {
    make_bus(1);
    const std::string out = output_of([&] { EXPECT_EQ(Disconnect(), RC_OK); });
    EXPECT_EQ(out, "<INFO> Disconnect: Successfully Closed the usb interface.\n");
    SetLog(0);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(Disconnect(), RC_OK); }), "");
}

TEST_F(Connection, SerialNumberReadIsTenCharactersAndANul) {
    FirmwareConfig c;
    c.serial = "ABCDEFGHIJ";
    make_bus(std::vector<FirmwareConfig>{c});
    connect_first();
    char serial[16];
    std::memset(serial, 'x', sizeof serial);
    const std::string out = output_of([&] { EXPECT_EQ(GetDisplaySerialNumber(serial), RC_OK); });
    EXPECT_STREQ(serial, "ABCDEFGHIJ");
    EXPECT_EQ(serial[11], 'x');
    EXPECT_NE(out.find("Serial Number is ABCDEFGHIJ \n"), std::string::npos);
    const auto& req = fw().requests().back().bytes;
    EXPECT_EQ(req, (std::vector<uint8_t>{8, 0, 0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    fw().refuse(8, 11, 0, 1);
    std::memset(serial, 'x', sizeof serial);
    const std::string refused = output_of([&] { EXPECT_EQ(GetDisplaySerialNumber(serial), RC_DEVICE_STATUS); });
    EXPECT_EQ(refused.substr(refused.find("<ERROR>")), "<ERROR> GetDisplaySerialNumber: RegUsbApi Failed.\n");
    EXPECT_EQ(serial[0], 'x');
}

TEST_F(Connection, MonitorTypeLineIgnoresTheLogSwitch) {
    connect_first();
    SetLog(0);
    uint8_t type = 0;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetMonitorType(&type), RC_OK); }), "Moniter Type is 2\n");
    EXPECT_EQ(type, 2);
    StdoutCapture quiet;
    Disconnect();
    quiet.stop();
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetMonitorType(&type), RC_FAILED); }), "");
}

}  // namespace
}  // namespace qvtest
