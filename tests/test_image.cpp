// Image processing: the mode, DCI, cropped-region and overdrive guards (what they send and print
// before a refusal), the plain rows, and the image-scaling rules per monitor type and timing.
#include <functional>
#include <tuple>

#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Image : public SimTest {
protected:
    void connect(uint8_t type, const std::string& mode) {  // mode "WxH" or "none"
        if (bus) captured([] { Disconnect(); });
        make_bus({qv::sim::FirmwareConfig{.monitor_type = type, .mode = mode}});
        connect_first();
    }
};

enum Guard { MODE, DCI, CROPPED, OVERDRIVE };
const std::vector<std::string> kGuardSent[] = {{"get 10,1"}, {"get 10,1"}, {"get 10,1", "get 3,1"}, {"get 10,1", "get 4,0"}};
// name without "Get"/"Set"
const struct Row { const char* name; int (*get)(uint8_t*); int (*set)(uint8_t); Guard guard; uint8_t valid, refused; } kRows[] = {
    {"DciImageRegion", GetDciImageRegion, SetDciImageRegion, DCI, 2, 3},
    {"ShowCroppedRegionStatus", GetShowCroppedRegionStatus, SetShowCroppedRegionStatus, CROPPED, 1, 2},
    {"CroppedRegionOpacity", GetCroppedRegionOpacity, SetCroppedRegionOpacity, CROPPED, 80, 25},
    {"VideoLegalStatus", GetVideoLegalStatus, SetVideoLegalStatus, MODE, 1, 2},
    {"OverScanStatus", GetOverScanStatus, SetOverScanStatus, MODE, 1, 2},
    {"BlueChannelStatus", GetBlueChannelStatus, SetBlueChannelStatus, MODE, 1, 2},
    {"OverDriveStatus", GetOverDriveStatus, SetOverDriveStatus, OVERDRIVE, 1, 2},
    {"DeinterlacerStatus", GetDeinterlacerStatus, SetDeinterlacerStatus, MODE, 1, 2},
    {"CadenceDetectionStatus", GetCadenceDetectionStatus, SetCadenceDetectionStatus, MODE, 1, 2},
};

// Without a usable timing, or with the mode unreadable, only the mode read goes out.
TEST_F(Image, WithoutAUsableTimingOnlyTheModeReadIsSent) {
    uint8_t out = 0;
    std::vector<std::tuple<std::string, std::function<int()>, Guard>> calls = {
        {"GetImageScaling", [&] { return GetImageScaling(&out, &out); }, MODE}, {"SetImageScaling", [] { return SetImageScaling(0, 0); }, MODE}};
    for (const Row& r : kRows) {
        calls.emplace_back(std::string("Get") + r.name, [&] { return r.get(&out); }, r.guard);
        calls.emplace_back(std::string("Set") + r.name, [&] { return r.set(r.valid); }, r.guard);
    }
    connect(2, "none");
    for (const bool unreadable : {false, true}) {
        if (unreadable) fw().refuse(8, 10, 1, 1);
        for (const auto& [name, call, guard] : calls) {
            fw().clear_requests();
            int rc = 0;
            std::string want = unreadable ? "<ERROR> GetDisplayMode: RegUsbApi Failed.\n" : "Display mode is No Signal \nresolution_x = No\nresolution_y = (null)\n";
            if (guard == DCI || guard == CROPPED) want += "<ERROR> " + (guard == DCI ? name : "GetDciImageRegion") + ": Main not in DCI:  Failed.\n";
            EXPECT_EQ(printed([&] { rc = call(); }), want) << name;
            EXPECT_EQ(rc, unreadable && guard != CROPPED ? RC_DEVICE_STATUS : RC_NOT_ALLOWED) << name;
            EXPECT_EQ(sent(fw()), kGuardSent[MODE]) << name;
        }
    }
}

// At 4096 x 2160 with DCI image region 1 and PIP off every guard passes, and only then is the
// value checked (each row's bounds on the wire are the display-statement test's).
TEST_F(Image, PlainRowsCheckTheirRangeAfterTheirGuard) {
    connect(1, "4096x2160");
    fw().set_u8("dci-image-region", 1);
    for (const Row& r : kRows) {
        fw().clear_requests();
        const std::string out = printed([&] { EXPECT_EQ(r.set(r.refused), RC_INVALID_ARGUMENT) << r.name; });
        EXPECT_TRUE(out.ends_with(std::string("<ERROR> Set") + r.name + ": Validation Failed.\n")) << out;
        EXPECT_EQ(sent(fw()), kGuardSent[r.guard]) << r.name;
    }
}

// Outside a DCI timing the DCI guard refuses whatever the argument; with DCI image region 0 the
// cropped-region guard refuses without a line of its own; overdrive only while PIP is not on.
TEST_F(Image, DciCroppedAndOverdriveGuards) {
    connect(2, "1920x1080");
    uint8_t v = 0xEE;
    EXPECT_EQ(printed([&] { EXPECT_EQ(SetDciImageRegion(3), RC_NOT_ALLOWED); }),
              "Display mode is 1920 x 1080 @ 60Hz \nresolution_x = 1920\nresolution_y = 1080\n"
              "Vactive = 1080 , hActive = 1920 <ERROR> SetDciImageRegion: Main not in DCI:  Failed.\n");
    fw().state.guards.mode = "2048x1080";
    fw().set_u8("dci-image-region", 0);
    for (const int value : {1, 5}) {
        fw().clear_requests();
        EXPECT_TRUE(printed([&] { EXPECT_EQ(SetShowCroppedRegionStatus(static_cast<uint8_t>(value)), RC_NOT_ALLOWED); }).ends_with("DCI Image Region = 0 \n"));
        EXPECT_TRUE(printed([&] { EXPECT_EQ(SetCroppedRegionOpacity(static_cast<uint8_t>(value)), RC_NOT_ALLOWED); }).ends_with("DCI Image Region = 0 \n"));
        EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 10,1", "get 3,1", "get 10,1", "get 3,1"}));
    }
    for (const int pip : {0, 1, 2, -1}) {  // -1: the PIP status read is refused
        const bool allowed = pip == 0 || pip == 2;
        if (pip < 0) fw().refuse(8, 4, 0, 1);
        else fw().set_u8("pip", static_cast<uint8_t>(pip));
        for (const bool get : {true, false}) {
            fw().clear_requests();
            int rc = 0;
            const std::string out = printed([&] { rc = get ? GetOverDriveStatus(&v) : SetOverDriveStatus(allowed ? 0 : 2); });
            EXPECT_EQ(rc, allowed ? RC_OK : RC_NOT_ALLOWED) << pip;
            EXPECT_EQ(sent(fw()).back(), !allowed ? "get 4,0" : get ? "get 3,7" : "set 2,7") << pip;
            EXPECT_EQ(out.ends_with(std::string("<ERROR> ") + (get ? "Get" : "Set") + "OverDriveStatus: PIP is ON.\n"), !allowed) << out;
        }
    }
}

// Set: aspect 0..7, 3 only on type 2; on type 2 aspect 7 is refused at height 2160 and takes pixel
// 0..1, pixel 1 only at 1280 x 720, 1920 x 1080 and 2048 x 1080; otherwise the pixel goes out
// unchecked. Get: the pixel status is written only where type 2 offers it in aspect 7.
TEST_F(Image, ScalingRulesPerMonitorTypeAndTiming) {
    const struct { uint8_t type; const char* mode; int aspect, pixel; bool sent, get_writes_pixel; } cases[] = {
        {2, "1920x1080", 8, 0, false, false},  {1, "1920x1080", 8, 0, false, false},    {2, "1920x1080", 255, 0, false, false},
        {1, "1920x1080", 3, 0, false, false},  {0xFF, "1920x1080", 3, 0, false, false}, {5, "3840x2160", 3, 0, false, false},
        {2, "1920x1080", 3, 0, true, false},   {1, "1920x1080", 0, 0, true, false},     {2, "4096x2160", 7, 0, false, false},
        {2, "3840x2160", 7, 0, false, false},  {2, "1920x1080", 7, 1, true, true},      {2, "1280x720", 7, 1, true, true},
        {2, "2048x1080", 7, 1, true, true},    {2, "2560x1080", 7, 1, false, false},    {2, "2560x1080", 7, 0, true, false},
        {2, "1920x1080", 7, 2, false, true},   {2, "2560x1080", 7, 2, false, false},    {2, "1280x720", 7, 255, false, true},
        {2, "1920x1080", 5, 200, true, false}, {1, "1920x1080", 7, 200, true, false},   {1, "4096x2160", 7, 1, true, false},
        {0xFF, "2560x1080", 7, 1, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.type) << " " << c.mode << " " << c.aspect << "/" << c.pixel);
        connect(c.type, c.mode);
        int rc = 0;
        std::string out = printed([&] { rc = SetImageScaling(static_cast<uint8_t>(c.aspect), static_cast<uint8_t>(c.pixel)); });
        EXPECT_EQ(rc, c.sent ? RC_OK : RC_INVALID_ARGUMENT);
        EXPECT_EQ(out.ends_with("<ERROR> SetImageScaling: Validation Failed.\n"), !c.sent) << out;
        ASSERT_EQ(sent(fw()).size(), c.sent ? 2u : 1u);
        if (c.sent) { EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 3}, {4, 2}, {7, static_cast<uint8_t>(c.aspect)}, {8, static_cast<uint8_t>(c.pixel)}})); }
        fw().payload("image-scaling") = {static_cast<uint8_t>(c.aspect), 1};
        fw().clear_requests();
        uint8_t aspect = 0xEE, pixel = 0xAB;
        out = printed([&] { EXPECT_EQ(GetImageScaling(&aspect, &pixel), RC_OK); });
        EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 10,1", "get 3,0"}));
        EXPECT_TRUE(out.ends_with("Aspect Ratio = " + std::to_string(c.aspect) + " \nPixel Status = " + (c.get_writes_pixel ? "1" : "171") + " \n"));
        EXPECT_EQ(pixel, c.get_writes_pixel ? 1 : 0xAB);
    }
    fw().refuse(8, 3, 0, 1);
    uint8_t aspect = 9;
    EXPECT_EQ(GetImageScaling(&aspect, &aspect), RC_DEVICE_STATUS);
    EXPECT_EQ(aspect, 9);
}

}  // namespace
}  // namespace qvtest
