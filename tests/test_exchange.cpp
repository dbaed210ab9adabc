// The command exchange: how long each opcode waits, identifier groups, and RegUsbApi on a live link.
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

TEST(GroupId, Ranges) {
    struct Range {
        int first, last;
        uint8_t group;
    } const ranges[] = {{21, 22, 1}, {23, 34, 2}, {35, 48, 3}, {50, 57, 5}, {58, 67, 4},
                        {68, 76, 6}, {77, 81, 7}, {82, 84, 8}, {88, 94, 9}};
    for (int id = 0; id <= 255; ++id) {
        uint8_t expected = 0;
        for (const Range& r : ranges)
            if (id >= r.first && id <= r.last) expected = r.group;
        EXPECT_EQ(ubGetGroupId(static_cast<uint8_t>(id)), expected) << id;
    }
}

TEST(RangeCheck, SixteenBitSignedInclusive) {
    EXPECT_EQ(s16ValidateSWord16Var(48, 48, 250), 0);
    EXPECT_EQ(s16ValidateSWord16Var(250, 48, 250), 0);
    EXPECT_EQ(s16ValidateSWord16Var(47, 48, 250), -1);
    EXPECT_EQ(s16ValidateSWord16Var(251, 48, 250), -1);
    EXPECT_EQ(s16ValidateSWord16Var(65584, 48, 250), 0) << "judged by its low 16 bits: 48";
    EXPECT_EQ(s16ValidateSWord16Var(65535, -1, 0), 0) << "0xFFFF reads as -1";
    EXPECT_EQ(s16ValidateSWord16Var(-1, 0, 1023), -1);
    EXPECT_EQ(s16ValidateSWord16Var(0x12345, 0, 0x2345), 0) << "the bounds are truncated too";
}

class Exchange : public SimTest {};

TEST_F(Exchange, ShortReplyLeavesTheRestOfTheRequest) {
    connect_first();
    bus->bridge(0).faults.truncate_reply = 5;
    uint8_t packet[32] = {8, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
    StdoutCapture quiet;
    ASSERT_EQ(RegUsbApi(packet, 32), RC_OK);
    EXPECT_EQ(packet[6], 0);
    EXPECT_EQ(packet[7], 0xAB);
    int16_t v = 0;
    EXPECT_EQ(GetDisplayLuminance(&v), RC_OK) << "the request's zero status stays zero";
    EXPECT_EQ(v, 0);
}

TEST_F(Exchange, ReplyLargerThanAskedIsCut) {
    connect_first();
    fw().set_s16("luminance", 77);
    bus->bridge(0).faults.extra_reply_bytes = 40;
    int16_t v = 0;
    StdoutCapture quiet;
    EXPECT_EQ(GetDisplayLuminance(&v), RC_OK);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(bus->bridge(0).pending(), 0u) << "one transfer carried it all; the rest was dropped";
}

TEST_F(Exchange, LongCommandsWaitTheirMinutes) {
    connect_first();
    bus->bridge(0).faults.no_reply = true;
    struct Case {
        uint8_t opcode;
        std::size_t attempts;
    } const cases[] = {{11, 1200}, {13, 1200}, {26, 1200}, {36, 1200}, {27, 3600}, {35, 3600}, {12, 10}, {0, 10}};
    StdoutCapture quiet;
    for (const Case& c : cases) {
        clock.clear_pauses();
        uint8_t packet[32] = {c.opcode};
        EXPECT_EQ(RegUsbApi(packet, 32), RC_FAILED);
        EXPECT_EQ(clock.count_pauses(1000000), c.attempts) << int{c.opcode};
    }
}

TEST_F(Exchange, DelayedReplyArrivesOnTheVirtualClock) {
    connect_first();
    fw().reply_delay_us = 5500000;  // the display answers after 5.5 simulated seconds
    int16_t v = 0;
    StdoutCapture quiet;
    EXPECT_EQ(GetDisplayLuminance(&v), RC_OK);
    EXPECT_EQ(clock.count_pauses(1000000), 6u) << "six empty attempts, then the reply";

    fw().reply_delay_us = 10500000;  // later than the ten attempts of an ordinary command
    clock.clear_pauses();
    EXPECT_EQ(GetDisplayLuminance(&v), RC_EXCHANGE_FAILED);
    EXPECT_EQ(clock.count_pauses(1000000), 10u);
}

TEST_F(Exchange, WriteFailureIsReportedWhateverTheLogSwitch) {
    connect_first();
    SetLog(0);
    bus->bridge(0).faults.write_error = qv::USB_ERROR_IO;
    uint8_t packet[32] = {8};
    EXPECT_EQ(output_of([&] { EXPECT_EQ(RegUsbApi(packet, 32), RC_FAILED); }),
              "<ERROR> RegUsbApi: Could not Write usb.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(RegUsbApi(packet, 600), RC_FAILED); }),
              "<ERROR> RegUsbApi: Could not Write usb.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(RegUsbApi(nullptr, 32), RC_FAILED); }),
              "<ERROR> RegUsbApi: Could not Write usb.\n")
        << "a NULL packet is refused by the write, before anything is read from it";
    EXPECT_TRUE(fw().requests().empty());
}

// Gets and sets run their own copy of the exchange with the 32-byte packet and the 10-second read
// built in; it must read and report exactly as RegUsbApi does with any other packet.
TEST_F(Exchange, SettingsExchangeAsksWhatTheBaudRateAllows) {
    connect_first();
    fw().set_s16("luminance", 0x1234);
    StdoutCapture quiet;
    baudrate = 9600;  // 18 bytes a read: the reply's first 18, the request's others
    uint8_t packet[32] = {8};
    packet[20] = 0xEE;
    ASSERT_EQ(RegUsbApi(packet, 32), RC_OK);
    EXPECT_EQ(packet[7], 0x34);
    EXPECT_EQ(packet[8], 0x12);
    EXPECT_EQ(packet[20], 0xEE);
    int16_t v = 0;
    EXPECT_EQ(GetDisplayLuminance(&v), RC_OK);
    EXPECT_EQ(v, 0x1234);
    quiet.stop();

    baudrate = 300;  // one byte a read: the value bytes are the request's zeros
    v = 99;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_OK); }),
              "<INFO> WritePort:Usb write success ,written '32' bytes\n"
              "<INFO> ReadPort: Read '1' bytes from Quorvex device\n"
              "Luminance value received = 0 \n");
    EXPECT_EQ(v, 0);
}

TEST_F(Exchange, SettingsExchangeFailuresPrintEveryLine) {
    connect_first();
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetDisplayLuminance(100), RC_OK); }),
              "<INFO> WritePort:Usb write success ,written '32' bytes\n"
              "<INFO> ReadPort: Read '32' bytes from Quorvex device\n");
    bus->bridge(0).faults.write_error = qv::USB_ERROR_IO;
    int16_t v = 5;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_EXCHANGE_FAILED); }),
              "<ERROR> WritePort: Write failed. Error -1\n"
              "<ERROR> RegUsbApi: Could not Write usb.\n"
              "<ERROR> GetDisplayLuminance: RegUsbApi Failed.\n");
    bus->bridge(0).faults.write_error = qv::USB_ERROR_IO;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetDisplayLuminance(100), RC_EXCHANGE_FAILED); }),
              "<ERROR> WritePort: Write failed. Error -1\n"
              "<ERROR> RegUsbApi: Could not Write usb.\n"
              "<ERROR> SetDisplayLuminance: RegUsbApi Failed.\n");
    // A silent display: ten empty read attempts, then the one line the log switch cannot hide.
    bus->bridge(0).faults.no_reply = true;
    SetLog(0);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetDisplayLuminance(100), RC_EXCHANGE_FAILED); }),
              "<ERROR> RegUsbApi: Could not Read usb.\n");
    EXPECT_EQ(clock.count_pauses(1000000), 10u);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_EXCHANGE_FAILED); }),
              "<ERROR> RegUsbApi: Could not Read usb.\n");
    EXPECT_EQ(clock.count_pauses(1000000), 20u);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(ConnectFlag, 1) << "a failed exchange never disconnects";
}

}  // namespace
}  // namespace qvtest
