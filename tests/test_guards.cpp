// Display-mode guards: what each reads, what it prints, and its verdict.
#include <cstring>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Guards : public SimTest {
protected:
    void mode(const std::string& m) { fw().state.guards.mode = m; }
};

TEST_F(Guards, DisplayModeTextIsCutTo24Characters) {
    connect_first();
    fw().state.guards.raw_mode_text = std::string(25, 'M');
    char text[26];
    std::memset(text, 'x', sizeof text);
    SetLog(0);
    EXPECT_EQ(GetDisplayMode(text), RC_OK);
    EXPECT_EQ(std::string(text), std::string(24, 'M'));
    EXPECT_EQ(text[25], 'x') << "only 25 bytes are written";

    fw().state.guards.raw_mode_text = "AB";
    std::memset(text, 'x', sizeof text);
    SetLog(1);
    const std::string out = output_of([&] { EXPECT_EQ(GetDisplayMode(text), RC_OK); });
    EXPECT_STREQ(text, "AB");
    EXPECT_EQ(text[24], 0) << "the rest of the 25 bytes is zero-filled";
    EXPECT_NE(out.find("Display mode is AB \n"), std::string::npos);
}

TEST_F(Guards, ResolutionTokens) {
    connect_first();
    struct Case {
        const char* text;
        int width, height, rc;
        const char* lines;
    } const cases[] = {
        {"3840 x 2160 @ 60Hz", 3840, 2160, RC_OK, "resolution_x = 3840\nresolution_y = 2160\n"},
        {"  1920   x   1080", 1920, 1080, RC_OK, "resolution_x = 1920\nresolution_y = 1080\n"},
        {"1920 x", 1920, 0, RC_NOT_ALLOWED, "resolution_x = 1920\nresolution_y = (null)\n"},
        {"No Signal", 0, 0, RC_NOT_ALLOWED, "resolution_x = No\nresolution_y = (null)\n"},
        {"abc x 1080", 0, 1080, RC_NOT_ALLOWED, "resolution_x = abc\nresolution_y = 1080\n"},
        {"   ", 0, 0, RC_NOT_ALLOWED, "resolution_x = (null)\nresolution_y = (null)\n"},
        {"-2048x y 70000", -2048, 4464, RC_OK, "resolution_x = -2048x\nresolution_y = 70000\n"},
    };
    SetLog(0);  // the resolution lines print whatever the switch holds
    for (const Case& c : cases) {
        fw().state.guards.raw_mode_text = c.text;
        int16_t w = 11;
        int16_t h = 11;
        EXPECT_EQ(output_of([&] { EXPECT_EQ(GetImageAdjustmentMode(&w, &h), c.rc) << c.text; }), c.lines);
        EXPECT_EQ(w, c.width) << c.text;
        EXPECT_EQ(h, c.height) << c.text;
    }
}

TEST_F(Guards, FailedModeReadLeavesTheOutputsAlone) {
    connect_first();
    fw().refuse(8, 10, 1, 1);
    int16_t w = 11;
    int16_t h = 12;
    SetLog(0);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetImageAdjustmentMode(&w, &h), RC_DEVICE_STATUS); }), "");
    EXPECT_EQ(w, 11);
    EXPECT_EQ(h, 12);
    EXPECT_EQ(CheckMarkerSupport(), RC_DEVICE_STATUS);
    EXPECT_EQ(GetDciMode(3), RC_DEVICE_STATUS);
}

TEST_F(Guards, DciTimingsOfTheMainPicture) {
    connect_first();
    struct Case {
        const char* mode;
        int rc;
    } const cases[] = {{"2048x1080", RC_OK}, {"4096x2160", RC_OK}, {"4095x2160", RC_OK},
                       {"3840x2160", RC_NOT_ALLOWED}, {"1920x1080", RC_NOT_ALLOWED},
                       {"2048x2160", RC_NOT_ALLOWED}, {"none", RC_NOT_ALLOWED}};
    SetLog(0);
    for (const Case& c : cases) {
        mode(c.mode);
        fw().clear_requests();
        StdoutCapture quiet;
        EXPECT_EQ(GetDciMode(3), c.rc) << c.mode;
        quiet.stop();
        EXPECT_EQ(fw().requests().size(), 1u) << "one exchange: the display mode";
    }
    SetLog(1);
    mode("2048x1080");
    const std::string out = output_of([&] { GetDciMode(3); });
    EXPECT_EQ(out.substr(out.size() - 32), "Vactive = 1080 , hActive = 2048 ");
}

TEST_F(Guards, UnknownPictureSelectorReadsNothing) {
    connect_first();
    for (int sel : {0, 2, 5, 255}) EXPECT_EQ(GetDciMode(static_cast<uint8_t>(sel)), RC_FAILED);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Guards, PipResolutionNeedsPipOn) {
    connect_first();
    int16_t w = 1;
    int16_t h = 2;
    std::string out = output_of([&] { EXPECT_EQ(GetPIPResolution(&w, &h), RC_NOT_ALLOWED); });
    EXPECT_NE(out.find("PIP status received is 0 \n"), std::string::npos);
    EXPECT_EQ(out.substr(out.find("<ERROR>")), "<ERROR> GetPIPResolution: Pip mode Failed.\n");
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_TRUE(fw().requests()[0].is_get(4, 0)) << "only the status read is sent";
    EXPECT_EQ(w, 1);

    fw().set_u8("pip", 2);  // any non-zero status the display reports counts as on
    fw().state.guards.pip_width = 4096;
    fw().state.guards.pip_height = 2160;
    SetLog(0);
    out = output_of([&] { EXPECT_EQ(GetPIPResolution(&w, &h), RC_OK); });
    EXPECT_EQ(out, "pvActive =2160 phActive =4096\n");
    EXPECT_EQ(w, 4096);
    EXPECT_EQ(h, 2160);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetDciMode(4), RC_OK); }), "pvActive =2160 phActive =4096\n");

    fw().refuse(8, 4, 27, 1);
    SetLog(1);
    out = output_of([&] { EXPECT_EQ(GetPIPResolution(&w, &h), RC_FAILED); });
    EXPECT_EQ(out.substr(out.find("<ERROR>")), "<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n");
}

TEST_F(Guards, WithoutAConnection) {
    make_bus(1);
    int16_t w = 0;
    int16_t h = 0;
    StdoutCapture quiet;
    EXPECT_EQ(GetImageAdjustmentMode(&w, &h), RC_EXCHANGE_FAILED);
    EXPECT_EQ(CheckMarkerSupport(), RC_EXCHANGE_FAILED);
    EXPECT_EQ(GetDciMode(3), RC_EXCHANGE_FAILED);
    EXPECT_EQ(GetPIPResolution(&w, &h), RC_NOT_ALLOWED) << "a failed status read counts as off";
    EXPECT_EQ(GetDciMode(4), RC_NOT_ALLOWED);
}

TEST_F(Guards, MarkerSupportByMonitorTypeAndResolution) {
    struct Case {
        uint8_t type;
        const char* mode;
        int rc;
    } const cases[] = {
        {2, "3840x2160", RC_OK},          {2, "4096x2160", RC_OK},          {2, "2560x1440", RC_NOT_ALLOWED},
        {1, "2560x1440", RC_OK},          {1, "3840x2160", RC_NOT_ALLOWED}, {1, "1280x720", RC_OK},
        {2, "1280x720", RC_OK},           {1, "9999x1080", RC_OK},          {2, "100x1080", RC_OK},
        {0xFF, "2560x1440", RC_OK},       {0xFF, "3840x2160", RC_NOT_ALLOWED}, {7, "2560x1600", RC_OK},
        {2, "none", RC_NOT_ALLOWED},
    };
    connect_first();
    SetLog(0);
    for (const Case& c : cases) {
        gu8MonitorType = c.type;  // as read at the last connect
        mode(c.mode);
        StdoutCapture quiet;
        EXPECT_EQ(CheckMarkerSupport(), c.rc) << int{c.type} << " " << c.mode;
    }
}

}  // namespace
}  // namespace qvtest
