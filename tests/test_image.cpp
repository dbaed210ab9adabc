// Image-processing settings against the simulated display: the mode, DCI, cropped-region and
// overdrive guards (what they send and print before a refusal), the image-scaling rules per
// monitor type and timing, and the plain switches.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Image : public SimTest {
protected:
    // Connect to one display of this monitor type showing this timing ("WxH" or "none").
    void connect(uint8_t monitor_type, const std::string& mode) {
        if (bus) output_of([] { Disconnect(); });  // the old bus's handle goes with it
        make_bus(1, monitor_type);
        fw(0).state.guards.mode = mode;
        connect_first();
    }
    template <class F>
    std::string lines_of(F&& f) {
        return without_info_lines(output_of(std::forward<F>(f)));
    }
    // The requests since the last clear, as "get 10/1, set 2/0".
    std::string trace() {
        std::string t;
        for (const auto& r : fw(0).requests())
            t += (t.empty() ? "" : ", ") + std::string(r.opcode() == 8 ? "get " : "set ") +
                 std::to_string(r.group()) + "/" + std::to_string(r.item());
        return t;
    }
    static bool ends_with(const std::string& s, const std::string& end) {
        return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
    }
};

// Every function of the family, with an argument its range accepts.
enum class Guard { mode, dci, cropped, overdrive };
struct Call {
    const char* name;
    std::function<int()> call;
    Guard guard;
};
uint8_t g_out = 0;
const Call kCalls[] = {
    {"GetImageScaling", [] { return GetImageScaling(&g_out, &g_out); }, Guard::mode},
    {"SetImageScaling", [] { return SetImageScaling(0, 0); }, Guard::mode},
    {"GetDciImageRegion", [] { return GetDciImageRegion(&g_out); }, Guard::dci},
    {"SetDciImageRegion", [] { return SetDciImageRegion(1); }, Guard::dci},
    {"GetShowCroppedRegionStatus", [] { return GetShowCroppedRegionStatus(&g_out); }, Guard::cropped},
    {"SetShowCroppedRegionStatus", [] { return SetShowCroppedRegionStatus(1); }, Guard::cropped},
    {"GetCroppedRegionOpacity", [] { return GetCroppedRegionOpacity(&g_out); }, Guard::cropped},
    {"SetCroppedRegionOpacity", [] { return SetCroppedRegionOpacity(20); }, Guard::cropped},
    {"GetVideoLegalStatus", [] { return GetVideoLegalStatus(&g_out); }, Guard::mode},
    {"SetVideoLegalStatus", [] { return SetVideoLegalStatus(1); }, Guard::mode},
    {"GetOverScanStatus", [] { return GetOverScanStatus(&g_out); }, Guard::mode},
    {"SetOverScanStatus", [] { return SetOverScanStatus(1); }, Guard::mode},
    {"GetBlueChannelStatus", [] { return GetBlueChannelStatus(&g_out); }, Guard::mode},
    {"SetBlueChannelStatus", [] { return SetBlueChannelStatus(1); }, Guard::mode},
    {"GetOverDriveStatus", [] { return GetOverDriveStatus(&g_out); }, Guard::overdrive},
    {"SetOverDriveStatus", [] { return SetOverDriveStatus(0); }, Guard::overdrive},
    {"GetDeinterlacerStatus", [] { return GetDeinterlacerStatus(&g_out); }, Guard::mode},
    {"SetDeinterlacerStatus", [] { return SetDeinterlacerStatus(1); }, Guard::mode},
    {"GetCadenceDetectionStatus", [] { return GetCadenceDetectionStatus(&g_out); }, Guard::mode},
    {"SetCadenceDetectionStatus", [] { return SetCadenceDetectionStatus(1); }, Guard::mode},
};

TEST_F(Image, WithoutAUsableTimingOnlyTheModeReadIsSent) {
    connect(2, "none");  // "No Signal": no width, no height
    for (const auto& c : kCalls) {
        SCOPED_TRACE(c.name);
        fw(0).clear_requests();
        int rc = 0;
        const std::string out = lines_of([&] { rc = c.call(); });
        EXPECT_EQ(rc, RC_NOT_ALLOWED);
        EXPECT_EQ(trace(), "get 10/1");
        std::string want = "Display mode is No Signal \nresolution_x = No\nresolution_y = (null)\n";
        // The DCI guard words its refusal; the cropped-region guard runs it inside
        // GetDciImageRegion and adds nothing of its own.
        if (c.guard == Guard::dci) want += "<ERROR> " + std::string(c.name) + ": Main not in DCI:  Failed.\n";
        if (c.guard == Guard::cropped) want += "<ERROR> GetDciImageRegion: Main not in DCI:  Failed.\n";
        EXPECT_EQ(out, want);
    }
    // A failed mode read: its code is passed on (the cropped-region guard makes it -2).
    fw(0).refuse(8, 10, 1, 1);
    for (const auto& c : kCalls) {
        SCOPED_TRACE(c.name);
        fw(0).clear_requests();
        EXPECT_EQ(c.call(), c.guard == Guard::cropped ? RC_NOT_ALLOWED : RC_DEVICE_STATUS);
        EXPECT_EQ(trace(), "get 10/1");
    }
}

TEST_F(Image, ResolutionLinesPrintWithLoggingOff) {
    connect(2, "1920x1080");
    SetLog(0);
    uint8_t v = 0;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(GetVideoLegalStatus(&v), RC_OK); }), "resolution_x = 1920\nresolution_y = 1080\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(SetDciImageRegion(1), RC_NOT_ALLOWED); }), "resolution_x = 1920\nresolution_y = 1080\n");
    // Malformed mode texts are refused without reading past the reply.
    const std::pair<const char*, const char*> texts[] = {
        {"1920 x", "resolution_x = 1920\nresolution_y = (null)\n"},
        {"x 1080 2048", "resolution_x = x\nresolution_y = 2048\n"},
        {"        ", "resolution_x = (null)\nresolution_y = (null)\n"},
        {"abcdefghijklmnopqrstuvwxyz", "resolution_x = abcdefghijklmnopqrstuvwx\nresolution_y = (null)\n"},
    };
    for (const auto& [text, lines] : texts) {
        fw(0).state.guards.raw_mode_text = text;
        EXPECT_EQ(output_of([&] { EXPECT_EQ(SetOverScanStatus(1), RC_NOT_ALLOWED); }), lines);
    }
}

TEST_F(Image, SwitchesSetAndReadBackAfterTheirGuard) {
    const struct {
        const char* cli;
        int (*get)(uint8_t*);
        int (*set)(uint8_t);
        int item;
        const char* line;
    } switches[] = {
        {"video-legal", GetVideoLegalStatus, SetVideoLegalStatus, 4, "Video Legal staus = %d \n"},
        {"overscan", GetOverScanStatus, SetOverScanStatus, 5, "OverScan Status = %d \n"},
        {"blue-channel", GetBlueChannelStatus, SetBlueChannelStatus, 6, "Blue Channel Status = %d \n"},
        {"overdrive", GetOverDriveStatus, SetOverDriveStatus, 7, "Over Drive Status = %d \n"},
        {"deinterlacer", GetDeinterlacerStatus, SetDeinterlacerStatus, 8, "Deinterlacer Status = %d \n"},
        {"cadence-detection", GetCadenceDetectionStatus, SetCadenceDetectionStatus, 9, "Cadence Detection Status = %d \n"},
    };
    connect(1, "2560x1440");
    for (const auto& s : switches) {
        SCOPED_TRACE(s.cli);
        const std::string guard = s.item == 7 ? "get 10/1, get 4/0" : "get 10/1";
        const uint8_t flipped = fw(0).u8(s.cli) == 0 ? 1 : 0;
        fw(0).clear_requests();
        ASSERT_EQ(s.set(flipped), RC_OK);
        uint8_t v = 0xEE;
        const std::string out = lines_of([&] { EXPECT_EQ(s.get(&v), RC_OK); });
        EXPECT_EQ(v, flipped);
        const std::string item = std::to_string(s.item);
        EXPECT_EQ(trace(), guard + ", set 2/" + item + ", " + guard + ", get 3/" + item);
        char line[64];
        std::snprintf(line, sizeof line, s.line, flipped);
        EXPECT_TRUE(ends_with(out, line)) << out;

        fw(0).clear_requests();  // out of range (-1 arrives as 255): the guard reads, nothing is set
        EXPECT_EQ(s.set(2), RC_INVALID_ARGUMENT);
        EXPECT_EQ(s.set(255), RC_INVALID_ARGUMENT);
        EXPECT_EQ(trace(), guard + ", " + guard);
    }
}

TEST_F(Image, OverdriveIsRefusedWhilePictureInPictureIsOn) {
    connect(2, "3840x2160");
    for (const int pip : {0, 1, 2, -1}) {  // -1: the PIP status read is refused
        SCOPED_TRACE(pip);
        const bool allowed = pip == 0 || pip == 2;
        fw(0).clear_refusals();
        if (pip < 0) fw(0).refuse(8, 4, 0, 1);
        else fw(0).set_u8("pip", static_cast<uint8_t>(pip));
        for (const bool get : {true, false}) {
            fw(0).clear_requests();
            int rc = 0;
            const std::string out = lines_of([&] { rc = get ? GetOverDriveStatus(&g_out) : SetOverDriveStatus(0); });
            const std::string refusal = std::string("<ERROR> ") + (get ? "Get" : "Set") + "OverDriveStatus: PIP is ON.\n";
            EXPECT_EQ(rc, allowed ? RC_OK : RC_NOT_ALLOWED);
            EXPECT_EQ(trace(), std::string("get 10/1, get 4/0") + (!allowed ? "" : get ? ", get 3/7" : ", set 2/7"));
            EXPECT_EQ(ends_with(out, refusal), !allowed) << out;
        }
    }
    fw(0).clear_refusals();
    fw(0).set_u8("pip", 1);  // the PIP guard comes before the range check
    EXPECT_EQ(SetOverDriveStatus(2), RC_NOT_ALLOWED);
}

TEST_F(Image, DciImageRegionOnlyInADciTimingAndRangeCheckedAfterTheGuard) {
    const std::pair<const char*, bool> modes[] = {{"2048x1080", true},  {"4096x2160", true},  {"4095x2160", true},
                                                  {"3840x2160", false}, {"1920x1080", false}, {"2048x1088", false}};
    connect(2, "1920x1080");
    fw(0).set_u8("dci-image-region", 2);
    for (const auto& [mode, dci] : modes) {
        SCOPED_TRACE(mode);
        fw(0).state.guards.mode = mode;
        fw(0).clear_requests();
        uint8_t region = 0xEE;
        int rc = 0;
        const std::string out = lines_of([&] { rc = GetDciImageRegion(&region); });
        EXPECT_EQ(rc, dci ? RC_OK : RC_NOT_ALLOWED);
        EXPECT_EQ(region, dci ? 2 : 0xEE);
        EXPECT_EQ(trace(), dci ? "get 10/1, get 3/1" : "get 10/1");
        const std::string m(mode);
        const std::string w = m.substr(0, m.find('x'));
        const std::string h = m.substr(m.find('x') + 1);
        EXPECT_EQ(out, "Display mode is " + w + " x " + h + " @ 60Hz \nresolution_x = " + w + "\nresolution_y = " + h +
                           "\nVactive = " + h + " , hActive = " + w + " " +
                           (dci ? "DCI Image Region = 2 \n" : "<ERROR> GetDciImageRegion: Main not in DCI:  Failed.\n"));
        // Outside DCI the guard decides, whatever the argument; inside, the range.
        EXPECT_EQ(SetDciImageRegion(3), dci ? RC_INVALID_ARGUMENT : RC_NOT_ALLOWED);
    }
    fw(0).state.guards.mode = "4096x2160";
    fw(0).clear_requests();
    EXPECT_EQ(SetDciImageRegion(1), RC_OK);
    EXPECT_EQ(trace(), "get 10/1, set 2/1");
    EXPECT_EQ(fw(0).u8("dci-image-region"), 1);
}

TEST_F(Image, CroppedRegionNeedsADciImageRegionOtherThanZero) {
    connect(2, "2048x1080");
    fw(0).set_u8("dci-image-region", 0);
    for (const auto& c : kCalls) {
        if (c.guard != Guard::cropped) continue;
        SCOPED_TRACE(c.name);
        fw(0).clear_requests();
        int rc = 0;
        const std::string out = lines_of([&] { rc = c.call(); });
        EXPECT_EQ(rc, RC_NOT_ALLOWED);
        EXPECT_EQ(trace(), "get 10/1, get 3/1");
        EXPECT_EQ(out.find("<ERROR>"), std::string::npos);  // no line of the caller's own
    }
    EXPECT_EQ(SetCroppedRegionOpacity(5), RC_NOT_ALLOWED);  // the guard before the range

    fw(0).set_u8("dci-image-region", 1);
    const std::pair<int, bool> opacities[] = {{0, false}, {5, false}, {25, false}, {85, false}, {90, false},
                                              {255, false}, {10, true}, {80, true}};
    for (const auto& [value, ok] : opacities) {
        SCOPED_TRACE(value);
        fw(0).clear_requests();
        int rc = 0;
        const std::string out = lines_of([&] { rc = SetCroppedRegionOpacity(static_cast<uint8_t>(value)); });
        EXPECT_EQ(rc, ok ? RC_OK : RC_INVALID_ARGUMENT);
        EXPECT_EQ(trace(), ok ? "get 10/1, get 3/1, set 2/3" : "get 10/1, get 3/1");
        EXPECT_EQ(ends_with(out, "<ERROR> SetCroppedRegionOpacity: Validation Failed.\n"), !ok);
    }
    uint8_t opacity = 0;
    const std::string out = lines_of([&] { EXPECT_EQ(GetCroppedRegionOpacity(&opacity), RC_OK); });
    EXPECT_EQ(opacity, 80);
    EXPECT_TRUE(ends_with(out, "DCI Image Region = 1 \nCropped Region Opacity = 80 \n")) << out;
}

TEST_F(Image, ImageScalingSetRulesPerMonitorTypeAndTiming) {
    const struct {
        uint8_t type;
        const char* mode;
        int aspect, pixel;
        bool sent;
    } cases[] = {
        // aspect 0..7 on every type; 3 only on type 2
        {2, "1920x1080", 8, 0, false},   {1, "1920x1080", 8, 0, false},   {2, "1920x1080", 255, 0, false},
        {1, "1920x1080", 3, 0, false},   {0xFF, "1920x1080", 3, 0, false}, {5, "3840x2160", 3, 0, false},
        {2, "1920x1080", 3, 0, true},    {1, "1920x1080", 0, 0, true},
        // type 2, aspect 7: never at height 2160, pixel 0..1, pixel 1 only at three timings
        {2, "4096x2160", 7, 0, false},   {2, "3840x2160", 7, 0, false},   {2, "1920x1080", 7, 1, true},
        {2, "1280x720", 7, 1, true},     {2, "2048x1080", 7, 1, true},    {2, "2560x1080", 7, 1, false},
        {2, "2560x1080", 7, 0, true},    {2, "1920x1080", 7, 2, false},   {2, "2560x1080", 7, 2, false},
        {2, "1280x720", 7, 255, false},
        // otherwise the pixel status goes out unchecked
        {2, "1920x1080", 5, 200, true},  {1, "1920x1080", 7, 200, true},  {1, "4096x2160", 7, 1, true},
        {0xFF, "2560x1080", 7, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.mode + " " + std::to_string(c.aspect) + "/" + std::to_string(c.pixel));
        connect(c.type, c.mode);
        int rc = 0;
        const std::string out = lines_of([&] { rc = SetImageScaling(static_cast<uint8_t>(c.aspect), static_cast<uint8_t>(c.pixel)); });
        EXPECT_EQ(rc, c.sent ? RC_OK : RC_INVALID_ARGUMENT);
        ASSERT_EQ(trace(), c.sent ? "get 10/1, set 2/0" : "get 10/1");
        EXPECT_EQ(ends_with(out, "<ERROR> SetImageScaling: Validation Failed.\n"), !c.sent);
        if (!c.sent) continue;
        const auto& sent = fw(0).requests().back().bytes;
        std::vector<uint8_t> payload(25, 0);
        payload[0] = static_cast<uint8_t>(c.aspect);
        payload[1] = static_cast<uint8_t>(c.pixel);
        EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 7, sent.end()), payload);
    }
}

TEST_F(Image, ImageScalingGetReadsThePixelStatusOnlyInThePixelMode) {
    const struct {
        uint8_t type;
        const char* mode;
        uint8_t aspect;
        bool pixel_written;
    } cases[] = {
        {2, "1920x1080", 7, true},  {2, "1280x720", 7, true},   {2, "2048x1080", 7, true},
        {2, "1920x1080", 5, false}, {2, "2560x1080", 7, false}, {2, "3840x2160", 7, false},
        {1, "1920x1080", 7, false}, {0xFF, "1920x1080", 7, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.mode + " aspect " + std::to_string(c.aspect));
        connect(c.type, c.mode);
        fw(0).payload("image-scaling")[0] = c.aspect;
        fw(0).payload("image-scaling")[1] = 1;
        uint8_t aspect = 0xEE;
        uint8_t pixel = 0xAB;
        int rc = 0;
        const std::string out = lines_of([&] { rc = GetImageScaling(&aspect, &pixel); });
        ASSERT_EQ(rc, RC_OK);
        EXPECT_EQ(trace(), "get 10/1, get 3/0");
        EXPECT_EQ(aspect, c.aspect);
        EXPECT_EQ(pixel, c.pixel_written ? 1 : 0xAB);
        EXPECT_TRUE(ends_with(out, "Aspect Ratio = " + std::to_string(c.aspect) + " \nPixel Status = " +
                                       (c.pixel_written ? "1" : "171") + " \n")) << out;
    }
    fw(0).refuse(8, 3, 0, 1);
    uint8_t aspect = 9;
    EXPECT_EQ(GetImageScaling(&aspect, &aspect), RC_DEVICE_STATUS);
    EXPECT_EQ(aspect, 9);
}

}  // namespace
}  // namespace qvtest
