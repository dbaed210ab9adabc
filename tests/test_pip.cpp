// Picture-in-picture: guards, plain settings and the custom window limits, against the
// simulated display.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

int16_t s16_at(const qv::sim::Request& r, std::size_t at) { return static_cast<int16_t>(r.bytes.at(at) | (r.bytes.at(at + 1) << 8)); }

class PipTest : public SimTest {
protected:
    void connect(uint8_t monitor_type = 2) {
        make_bus(1, monitor_type);
        connect_first();
    }
    void pip(uint8_t status, uint8_t mode = 1) {
        fw().set_u8("pip", status);
        fw().set_u8("pip-mode", mode);
    }
    void window(int16_t width, int16_t height) {
        fw().payload("pip-size") = {3, static_cast<uint8_t>(width & 0xFF), static_cast<uint8_t>(width >> 8),
                                    static_cast<uint8_t>(height & 0xFF), static_cast<uint8_t>(height >> 8)};
    }
    void source(int16_t width, int16_t height) {
        fw().state.guards.pip_width = width;
        fw().state.guards.pip_height = height;
    }
    // What the library printed, less the transport's progress lines (which may follow a value
    // line without a newline of its own).
    template <class F>
    std::string printed_by(F&& f) {
        std::string s = output_of(std::forward<F>(f));
        for (std::size_t at = s.find("<INFO> "); at != std::string::npos; at = s.find("<INFO> ", at))
            s.erase(at, s.find('\n', at) + 1 - at);
        return s;
    }
};

struct GuardCase {
    const char* name;
    std::function<void()> setup;
    std::function<int()> call;
    int rc;
    std::vector<std::string> requests;  // everything the display received
    std::string printed;
};

TEST_F(PipTest, GuardsReadTheirStateAndRefuseBeforeTheCallersCommand) {
    uint8_t u8 = 0;
    int16_t a = 0, b = 0;
    const std::string off = "PIP status received is 0 \n";
    const std::vector<GuardCase> cases = {
        {"A: PIP off", [&] { pip(0); }, [&] { return GetPIPMode(&u8); }, RC_NOT_ALLOWED, {"get 4,0"},
         off + "<ERROR> GetPIPMode: PIP is OFF.\n"},
        {"A: status 2 is not exactly on", [&] { pip(2); }, [&] { return GetPIPMode(&u8); }, RC_NOT_ALLOWED,
         {"get 4,0"}, "PIP status received is 2 \n<ERROR> GetPIPMode: PIP is OFF.\n"},
        {"A: argument not checked while off", [&] { pip(0); }, [] { return SetPIPMode(3); }, RC_NOT_ALLOWED,
         {"get 4,0"}, off + "<ERROR> SetPIPMode: PIP is OFF.\n"},
        {"A: argument checked while on", [&] { pip(1); }, [] { return SetPIPMode(0); }, RC_INVALID_ARGUMENT,
         {"get 4,0"}, "PIP status received is 1 \n<ERROR> SetPIPMode: Validation Failed.\n"},
        {"A: failed status read counts as off", [&] { pip(1); fw().refuse(8, 4, 0, 1); },
         [] { return SetPIPMode(1); }, RC_NOT_ALLOWED, {"get 4,0"},
         "<ERROR> GetPIPStatus: RegUsbApi Failed.\n<ERROR> SetPIPMode: PIP is OFF.\n"},
        {"B: PIP off prints both refusals", [&] { pip(0); }, [&] { return GetPIPSize(&u8, &a, &b); },
         RC_NOT_ALLOWED, {"get 4,0"}, off + "<ERROR> GetPIPMode: PIP is OFF.\n<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {"B: mode 2, selector not checked", [&] { pip(1, 2); }, [] { return SetPIPSize(9, 720); }, RC_NOT_ALLOWED,
         {"get 4,0", "get 4,1"},
         "PIP status received is 1 \nPIP mode received is 2 \n<ERROR> SetPIPSize: Pip mode Failed.\n"},
        {"position: the size read decides, nothing more printed", [&] { pip(0); },
         [] { return SetPIPPosition(9, 0, 0); }, RC_NOT_ALLOWED, {"get 4,0"},
         off + "<ERROR> GetPIPMode: PIP is OFF.\n<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {"position: refused size read passes its code", [&] { pip(1); fw().refuse(8, 4, 2, 1); },
         [] { return SetPIPPosition(0, 0, 0); }, RC_DEVICE_STATUS, {"get 4,0", "get 4,1", "get 4,2"},
         "PIP status received is 1 \nPIP mode received is 1 \n<ERROR> GetPIPSize: RegUsbApi Failed.\n"},
        {"C: PIP off", [&] { pip(0); }, [] { return SetSwapPIPInputsStatus(7); }, RC_NOT_ALLOWED, {"get 4,0"},
         off + "<ERROR> SetSwapPIPInputsStatus: Pip mode Failed.\n"},
        {"C: any non-zero status passes", [&] { pip(2, 2); fw().set_u8("pip-overscan", 1); },
         [&] { return GetPIPOverscanStatus(&u8); }, RC_OK, {"get 4,0", "get 4,8"},
         "PIP status received is 2 \nPIP OverScan Status is 1 \n"},
        {"D: PIP off", [&] { pip(0); }, [&] { return GetPIPDciStatus(&u8); }, RC_NOT_ALLOWED, {"get 4,0"},
         off + "<ERROR> GetPIPResolution: Pip mode Failed.\n<ERROR> GetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: source not DCI, argument not checked", [&] { pip(1); source(1920, 1080); },
         [] { return SetPIPDciStatus(3); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \npvActive =1080 phActive =1920\nVactive = 1080 , hActive = 1920 "
         "<ERROR> SetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: source unreadable", [&] { pip(1); fw().refuse(8, 4, 27, 1); }, [&] { return GetPIPDciStatus(&u8); },
         RC_FAILED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \n<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n"
         "<ERROR> GetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: DCI source, argument checked", [&] { pip(1); source(4096, 2160); }, [] { return SetPIPDciStatus(3); },
         RC_INVALID_ARGUMENT, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \npvActive =2160 phActive =4096\nVactive = 2160 , hActive = 4096 "
         "<ERROR> SetPIPDciStatus: Validation Failed.\n"},
    };
    connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fw().clear_refusals();
        c.setup();
        fw().clear_requests();
        int rc = 0;
        EXPECT_EQ(printed_by([&] { rc = c.call(); }), c.printed);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.requests);
    }
    // Logging off leaves only the line that always prints.
    pip(1);
    source(1920, 1080);
    SetLog(0);
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(GetPIPDciStatus(&u8), RC_NOT_ALLOWED); }), "pvActive =1080 phActive =1920\n");
    pip(0);
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(SetPIPPosition(4, 0, 0), RC_NOT_ALLOWED); }), "");
}

TEST_F(PipTest, PlainSettingsCheckTheirRangeAndReachTheDisplay) {
    struct Setting {
        int (*get)(uint8_t*);
        int (*set)(uint8_t);
        int low, high, item;
        const char* line;
    };
    const Setting settings[] = {
        {GetPIPMode, SetPIPMode, 1, 2, 1, "PIP mode received is %d \n"},
        {GetPIPPrimaryInput, SetPIPPrimaryInput, 0, 4, 4, "Primary Input is %d \n"},
        {GetPIPSecondaryInput, SetPIPSecondaryInput, 0, 4, 5, "Secondary Input is %d \n"},
        {GetSwapPIPInputsStatus, SetSwapPIPInputsStatus, 0, 1, 6, "Swap PIP input status is %d \n"},
        {GetPIPVideoLegalStatus, SetPIPVideoLegalStatus, 0, 1, 7, "PIP Video Legal is %d \n"},
        {GetPIPOverscanStatus, SetPIPOverscanStatus, 0, 1, 8, "PIP OverScan Status is %d \n"},
        {GetPIPDciStatus, SetPIPDciStatus, 0, 2, 9, "PIP DCI Status is %d \n"},
    };
    connect();
    pip(1);
    source(2048, 1080);
    for (const auto& s : settings) {
        SCOPED_TRACE(s.line);
        fw().clear_requests();
        if (s.low > 0) {
            EXPECT_EQ(s.set(static_cast<uint8_t>(s.low - 1)), RC_INVALID_ARGUMENT);
        }
        EXPECT_EQ(s.set(static_cast<uint8_t>(s.high + 1)), RC_INVALID_ARGUMENT);
        EXPECT_EQ(fw().count_requests(3), 0u);
        for (const int v : {s.low, s.high}) {
            ASSERT_EQ(s.set(static_cast<uint8_t>(v)), RC_OK);
            EXPECT_TRUE(fw().requests().back().is_set(3, s.item));
            uint8_t back = 0xEE;
            char line[64];
            std::snprintf(line, sizeof line, s.line, v);
            EXPECT_NE(printed_by([&] { ASSERT_EQ(s.get(&back), RC_OK); }).find(line), std::string::npos);
            EXPECT_EQ(back, v);
        }
    }
}

TEST_F(PipTest, PositionAndSizeReadsPrintTheirThreeLines) {
    connect();
    pip(1);
    window(1365, 720);
    fw().payload("pip-position") = {4, 0xFB, 0xFF, 0x10, 0x00};  // custom, X -5, Y 16
    uint8_t sel = 0;
    int16_t a = 0, b = 0;
    EXPECT_EQ(printed_by([&] { ASSERT_EQ(GetPIPPosition(&sel, &a, &b), RC_OK); }),
              "PIP status received is 1 \nPIP mode received is 1 \nPIP Position Status is 4 \nPIP X = -5 \nPIP Y = 16 \n");
    EXPECT_EQ(sel, 4);
    EXPECT_EQ(a, -5);
    EXPECT_EQ(b, 16);
    const std::string size = printed_by([&] { ASSERT_EQ(GetPIPSize(&sel, &a, &b), RC_OK); });
    EXPECT_NE(size.find("PIP Size Status is 3 \nPIP Width = 1365 \nPIP Height = 720 \n"), std::string::npos);
    fw().refuse(8, 4, 3, 1);
    EXPECT_EQ(GetPIPPosition(&sel, &a, &b), RC_DEVICE_STATUS);
    EXPECT_EQ(sel, 3);  // untouched by the failed read
}

TEST_F(PipTest, CustomPositionStaysInsideTheFrameForTheCurrentWindow) {
    struct Case {
        int16_t width, height;
        uint8_t selector;
        int16_t x, y;
        const char* refusal;  // nullptr: sent
    };
    const char* X = "<ERROR> SetPIPPosition:XValue Validation Failed.\n";
    const char* Y = "<ERROR> SetPIPPosition:YValue Validation Failed.\n";
    const Case cases[] = {
        {568, 300, 4, 203, 500, X},    {568, 300, 4, 204, 108, nullptr}, {568, 300, 4, 3324, 1752, nullptr},
        {568, 300, 4, 3325, 1752, X},  {568, 300, 4, 3324, 1753, Y},     {568, 300, 4, 3324, 107, Y},
        {568, 300, 4, 3325, 9999, X},  {2048, 1080, 4, 1844, 972, nullptr}, {2048, 1080, 4, 1845, 108, X},
        {2048, 1080, 4, 204, 973, Y},  {568, 300, 2, 4096, -5, nullptr},  {568, 300, 0, -32768, 32767, nullptr},
        {568, 300, 5, 204, 108, "<ERROR> SetPIPPosition: Validation Failed.\n"},
    };
    connect();
    pip(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << int(c.selector) << " " << c.x << "," << c.y);
        window(c.width, c.height);
        fw().clear_requests();
        const std::string printed = printed_by([&] { EXPECT_EQ(SetPIPPosition(c.selector, c.x, c.y), c.refusal ? RC_INVALID_ARGUMENT : RC_OK); });
        std::vector<std::string> expected = {"get 4,0", "get 4,1", "get 4,2"};
        if (c.refusal != nullptr) {
            EXPECT_EQ(printed.substr(printed.rfind("<ERROR>")), c.refusal);
            EXPECT_EQ(sent(fw()), expected);
            continue;
        }
        expected.push_back("set 3,3");
        ASSERT_EQ(sent(fw()), expected);
        const auto& set = fw().requests().back();
        EXPECT_EQ(set.bytes[7], c.selector);
        EXPECT_EQ(s16_at(set, 8), c.x);
        EXPECT_EQ(s16_at(set, 10), c.y);
    }
}

TEST_F(PipTest, CustomSizeIsCheckedAndItsWidthFollowsTheAspect) {
    struct Case {
        uint8_t selector;
        int16_t height;
        int rc;
        int16_t width;
    };
    const Case cases[] = {
        {3, 299, RC_INVALID_ARGUMENT, 0}, {3, 1081, RC_INVALID_ARGUMENT, 0}, {4, 720, RC_INVALID_ARGUMENT, 0},
        {3, 300, RC_OK, 568},             {3, 720, RC_OK, 1365},             {3, 1080, RC_OK, 2048},
        {3, 301, RC_OK, 570},             {0, 5000, RC_OK, 0},               {2, -1, RC_OK, 0},
    };
    connect();
    pip(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "SetPIPSize(" << int(c.selector) << ", " << c.height << ")");
        fw().clear_requests();
        const std::string printed = printed_by([&] { EXPECT_EQ(SetPIPSize(c.selector, c.height), c.rc); });
        if (c.rc != RC_OK) {
            EXPECT_EQ(printed.substr(printed.rfind("<ERROR>")), "<ERROR> SetPIPSize: Validation Failed.\n");
            EXPECT_EQ(fw().count_requests(3), 0u);
            continue;
        }
        const auto& set = fw().requests().back();
        ASSERT_TRUE(set.is_set(3, 2));
        EXPECT_EQ(set.bytes[7], c.selector);
        EXPECT_EQ(s16_at(set, 8), c.width);
        EXPECT_EQ(s16_at(set, 10), c.height);
    }
}

// The row of sPipLimits is the monitor type's, read at each call, low 16 bits of each entry.
TEST_F(PipTest, LimitsComeFromTheMonitorTypesRowOfTheExportedTable) {
    int64_t saved[2][6];
    std::memcpy(saved, sPipLimits, sizeof saved);
    for (const int type : {1, 2}) {
        SCOPED_TRACE(type);
        connect(static_cast<uint8_t>(type));
        pip(1);
        window(568, 300);
        const int row = type - 1;
        sPipLimits[row][0] = 400;
        sPipLimits[row][2] = 0x10000 + 200;
        sPipLimits[row][5] = 900;
        sPipLimits[1 - row][0] = 100;  // the other row is not read
        EXPECT_EQ(SetPIPPosition(4, 399, 300), RC_INVALID_ARGUMENT);
        EXPECT_EQ(SetPIPPosition(4, 400, 199), RC_INVALID_ARGUMENT);
        EXPECT_EQ(SetPIPPosition(4, 4096 - 400 - 568, 2160 - 200 - 300), RC_OK);
        EXPECT_EQ(SetPIPSize(3, 901), RC_INVALID_ARGUMENT);
        EXPECT_EQ(SetPIPSize(3, 900), RC_OK);
        std::memcpy(sPipLimits, saved, sizeof saved);
        Disconnect();
    }
}

// No row for the monitor type: a custom window is not offered (silently); presets still work.
TEST_F(PipTest, CustomWindowOnAnUnlistedMonitorTypeIsNotSupported) {
    connect(3);
    pip(1);
    window(568, 300);
    EXPECT_EQ(printed_by([] { EXPECT_EQ(SetPIPPosition(4, 204, 108), RC_NOT_SUPPORTED); }).find("SetPIPPosition"), std::string::npos);
    EXPECT_EQ(printed_by([] { EXPECT_EQ(SetPIPSize(3, 720), RC_NOT_SUPPORTED); }).find("SetPIPSize"), std::string::npos);
    EXPECT_EQ(fw().count_requests(3), 0u);
    EXPECT_EQ(SetPIPPosition(5, 204, 108), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPSize(4, 720), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPPosition(1, 204, 108), RC_OK);
    EXPECT_EQ(SetPIPSize(2, 0), RC_OK);
}

// The window set up through the library alone: its size on the display drives the limits.
TEST_F(PipTest, WindowSetUpThroughTheLibrary) {
    connect();
    ASSERT_EQ(SetPIPStatus(1), RC_OK);
    ASSERT_EQ(SetPIPMode(1), RC_OK);
    ASSERT_EQ(SetPIPSize(2, 0), RC_OK);  // largest preset, 2048 x 1080
    EXPECT_EQ(SetPIPPosition(4, 1845, 108), RC_INVALID_ARGUMENT);
    ASSERT_EQ(SetPIPSize(3, 720), RC_OK);
    EXPECT_EQ(SetPIPPosition(4, 1845, 108), RC_OK);
    ASSERT_EQ(SetPIPPosition(3, 0, 0), RC_OK);  // a preset corner for the current size
    uint8_t sel = 0;
    int16_t x = 0, y = 0;
    ASSERT_EQ(GetPIPPosition(&sel, &x, &y), RC_OK);
    EXPECT_EQ(x, 4096 - 204 - 1365);
    EXPECT_EQ(y, 2160 - 108 - 720);
    ASSERT_EQ(SetPIPMode(2), RC_OK);
    EXPECT_EQ(GetPIPSize(&sel, &x, &y), RC_NOT_ALLOWED);
    EXPECT_EQ(SetPIPPrimaryInput(3), RC_OK);
    ASSERT_EQ(SetPIPStatus(0), RC_OK);
    EXPECT_EQ(SetPIPPrimaryInput(3), RC_NOT_ALLOWED);
}

TEST_F(PipTest, ALongReplyIsReadOnlyToThePacketsEnd) {
    connect();
    pip(1);
    fw().payload("pip-position") = {4, 0x2C, 0x01, 0x90, 0x01};  // custom, 300, 400
    bus->bridge(0).faults.extra_reply_bytes = 40;
    uint8_t sel = 0;
    int16_t x = 0, y = 0;
    ASSERT_EQ(GetPIPPosition(&sel, &x, &y), RC_OK);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 400);
}

}  // namespace
}  // namespace qvtest
