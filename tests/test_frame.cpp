// The settings call frame on its first two settings: luminance (16-bit) and colour space (8-bit).
// (Every row's bounds and packets are the display-statement test's.)
#include <cstring>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes setting_packet(uint8_t opcode, uint8_t group, uint8_t item, std::initializer_list<uint8_t> payload = {}) {
    Bytes b(32, 0);
    b[0] = opcode;
    b[4] = group;
    b[5] = item;
    std::size_t at = 7;
    for (uint8_t v : payload) b[at++] = v;
    return b;
}

class Frame : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
    }
    const Bytes& last_request() { return fw().requests().back().bytes; }
};

TEST_F(Frame, GetsReadWhatTheDisplayHolds) {
    fw().set_u8("color-space", 6);
    uint8_t index = 0;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetActiveColorSpace(&index), RC_OK); }),
              "<INFO> WritePort:Usb write success ,written '32' bytes\n"
              "<INFO> ReadPort: Read '32' bytes from Quorvex device\n"
              "ColorSpace index received = 6 \n");
    EXPECT_EQ(index, 6);
    EXPECT_EQ(last_request(), setting_packet(8, 0, 1));

    fw().set_s16("luminance", -1);  // a signed 16-bit value
    int16_t v = 0;
    EXPECT_NE(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_OK); }).find("Luminance value received = -1 \n"),
              std::string::npos);
    EXPECT_EQ(v, -1);
}

TEST_F(Frame, RefusalLeavesTheCallersValueAlone) {
    fw().refuse(8, 0, 0, 1);
    fw().refuse(3, 0, 1, 2);
    int16_t v = 1234;
    SetLog(0);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_DEVICE_STATUS); }), "");
    EXPECT_EQ(v, 1234);
    SetLog(1);
    std::string out = output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_DEVICE_STATUS); });
    EXPECT_EQ(out.substr(out.find("<ERROR>")), "<ERROR> GetDisplayLuminance: RegUsbApi Failed.\n");
    out = output_of([&] { EXPECT_EQ(SetActiveColorSpace(3), RC_DEVICE_STATUS); });
    EXPECT_EQ(out.substr(out.find("<ERROR>")), "<ERROR> SetActiveColorSpace: RegUsbApi Failed.\n");
}

TEST_F(Frame, WithoutAConnectionOnlyTheFramesLineIsPrinted) {
    StdoutCapture quiet;
    Disconnect();
    quiet.stop();
    int16_t v = 9;
    uint8_t index = 9;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDisplayLuminance(&v), RC_EXCHANGE_FAILED); }),
              "<ERROR> GetDisplayLuminance: RegUsbApi Failed.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetDisplayLuminance(100), RC_EXCHANGE_FAILED); }),
              "<ERROR> SetDisplayLuminance: RegUsbApi Failed.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetActiveColorSpace(&index), RC_EXCHANGE_FAILED); }),
              "<ERROR> GetActiveColorSpace: RegUsbApi Failed.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetActiveColorSpace(2), RC_EXCHANGE_FAILED); }),
              "<ERROR> SetActiveColorSpace: RegUsbApi Failed.\n");
    EXPECT_EQ(v, 9);
    EXPECT_EQ(index, 9);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Frame, LogSwitch) {
    int16_t v = 0;
    for (uint8_t off : {uint8_t{0}, uint8_t{2}, uint8_t{255}}) {
        EXPECT_EQ(SetLog(off), RC_OK);
        EXPECT_EQ(LogMessage, off);
        EXPECT_EQ(output_of([&] { GetDisplayLuminance(&v); SetDisplayLuminance(1); }), "");
    }
    SetLog(1);
    EXPECT_NE(output_of([&] { GetDisplayLuminance(&v); }), "");
}

TEST(SdkVersion, WorksWithoutADisplay) {
    char version[8];
    std::memset(version, 'x', sizeof version);
    LogMessage = 1;
    StdoutCapture capture;
    EXPECT_EQ(GetSdkVersion(version), RC_OK);
    EXPECT_EQ(capture.stop(), "USB SDK version is v1.0 \n");
    EXPECT_STREQ(version, "v1.0");
    EXPECT_EQ(version[5], 'x');
}

}  // namespace
}  // namespace qvtest
