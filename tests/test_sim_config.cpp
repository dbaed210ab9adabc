// The QUORVEX_SIMULATE grammar, and how Scan chooses between the simulated bus and real USB.
#include <cstdlib>
#include <string>

#include "gadget_usb/clock.h"
#include "sim/sim_config.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::parse_sim_config;
using qv::sim::SimConfig;

TEST(SimConfigText, ValidConfigurations) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse_sim_config("displays=3,type=1", &c, &error)) << error;
    ASSERT_EQ(c.displays.size(), 3u);
    EXPECT_EQ(c.displays[2].monitor_type, 1);
    EXPECT_EQ(c.displays[1].serial, "QVSIM00002");
    EXPECT_FALSE(c.virtual_clock);

    ASSERT_TRUE(parse_sim_config(" 2 , type=2, type2=1 ,serial2=AB-CD12345,mode1=1920x1080,clock=virtual", &c, &error))
        << error;
    ASSERT_EQ(c.displays.size(), 2u);
    EXPECT_EQ(c.displays[0].monitor_type, 2);
    EXPECT_EQ(c.displays[1].monitor_type, 1);
    EXPECT_EQ(c.displays[1].serial, "AB-CD12345");
    EXPECT_EQ(c.displays[0].mode, "1920x1080");
    EXPECT_EQ(c.displays[1].mode, "3840x2160");
    EXPECT_TRUE(c.virtual_clock);

    ASSERT_TRUE(parse_sim_config("displays=0", &c, &error));
    EXPECT_TRUE(c.displays.empty());
    ASSERT_TRUE(parse_sim_config("mode=none,serial4=ZZZZZZZZZZ", &c, &error));
    EXPECT_EQ(c.displays.size(), 1u);
    EXPECT_FALSE(c.displays[0].calibration_seconds);
    ASSERT_TRUE(parse_sim_config("2,calibration-seconds=90", &c, &error));
    EXPECT_EQ(c.displays[1].calibration_seconds, 90u);
    EXPECT_EQ(c.displays[0].refuse_chunk, 0);
    ASSERT_TRUE(parse_sim_config("2,refuse-chunk=3,refuse-chunk2=0", &c, &error)) << error;
    EXPECT_EQ(c.displays[0].refuse_chunk, 3);
    EXPECT_EQ(c.displays[1].refuse_chunk, 0);
}

TEST(SimConfigText, MalformedConfigurationsSayWhy) {
    for (const char* text : {"displays=5", "displays=-1", "displays=", "5", "type=256", "type5=1",
                             "serial1=SHORT", "serial1=ELEVENCHARS", "serial=QVSIM00001", "mode=1920",
                             "mode=axb", "clock=fast", "calibration-seconds=-1", "calibration-seconds=86401",
                             "refuse-chunk=-1", "refuse-chunk5=1", "colour=red", "displays=1,,type=2", "yes", ","}) {
        SimConfig c;
        std::string error;
        EXPECT_FALSE(parse_sim_config(text, &c, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

class Environment : public SimTest {
protected:
    void TearDown() override {
        unsetenv("QUORVEX_SIMULATE");
        SimTest::TearDown();
    }
};

TEST_F(Environment, MalformedValueFailsTheScanWithoutRealUsb) {
    setenv("QUORVEX_SIMULATE", "displays=9", 1);
    char serials[36];
    testing::internal::CaptureStderr();
    const std::string out = output_of([&] { EXPECT_EQ(Scan(serials), RC_USB_UNAVAILABLE); });
    EXPECT_EQ(Connect(0), RC_USB_UNAVAILABLE) << "nor does a Connect reach real USB";
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "<ERROR> Scan: Can't open libusb.\n");
    EXPECT_NE(err.find("QUORVEX_SIMULATE='displays=9' is not valid: displays must be 0..4"), std::string::npos) << err;
}

// With calibration-seconds the calibration commands answer after that many (here virtual)
// seconds, the one read waiting for the answer.
TEST_F(Environment, CalibrationCommandsAnswerAfterTheGivenSeconds) {
    setenv("QUORVEX_SIMULATE", "displays=1,clock=virtual,calibration-seconds=5", 1);
    char serials[36];
    SetLog(0);
    StdoutCapture quiet;
    ASSERT_EQ(Scan(serials), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    ASSERT_EQ(SetAllowExternalInstrumentStatus(1), RC_OK);
    int (*const commands[])() = {
        [] { return RecalibrateActivePreset(); },
        [] { return ConfigureAndCalibratePreset(1, 1, 1, 1, 100); },
        [] { return AlignInternalCalibrationDevice(); },
        [] { return PositionColorimeter(); },
        [] { return PerformTintwiseCalibration(); },
    };
    for (const auto command : commands) {
        const uint64_t start = qv::clock().now_us();
        EXPECT_EQ(command(), RC_OK);
        EXPECT_EQ(qv::clock().now_us() - start, 5'000'000u);
    }
    const uint64_t start = qv::clock().now_us();
    EXPECT_EQ(ValidateTintwisecalXML(), RC_OK);
    EXPECT_LT(qv::clock().now_us() - start, 5'000'000u) << "validating is not a calibration";
    Disconnect();
}

}  // namespace
}  // namespace qvtest
