// Picture-in-picture: the window's guards, its plain settings, and the custom position and
// size limits, against the simulated display.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

// What the display received, as "get 4,0" / "set 3,3".
std::vector<std::string> sent(const qv::sim::Firmware& f) {
    std::vector<std::string> out;
    for (const auto& r : f.requests())
        out.push_back(std::string(r.opcode() == 8 ? "get " : r.opcode() == 3 ? "set " : "op ") +
                      std::to_string(r.group()) + "," + std::to_string(r.item()));
    return out;
}

// What the library printed, less the transport's progress lines (which may also follow a
// value line that has no newline of its own).
std::string own_lines(std::string printed) {
    for (std::size_t at = printed.find("<INFO> "); at != std::string::npos; at = printed.find("<INFO> ", at)) {
        const std::size_t end = printed.find('\n', at);
        printed.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    return printed;
}

int16_t s16_at(const qv::sim::Request& r, std::size_t at) {
    return static_cast<int16_t>(r.bytes.at(at) | (r.bytes.at(at + 1) << 8));
}

// Puts sPipLimits back after a test that changes it.
class LimitsRestore {
public:
    LimitsRestore() { std::memcpy(saved_, sPipLimits, sizeof saved_); }
    ~LimitsRestore() { std::memcpy(sPipLimits, saved_, sizeof saved_); }

private:
    int64_t saved_[2][6];
};

class PipTest : public SimTest {
protected:
    template <class F>
    std::string own_output(F&& f) {
        return own_lines(output_of(std::forward<F>(f)));
    }
    void connect(uint8_t monitor_type = 2) {
        make_bus(1, monitor_type);
        connect_first();
    }
    // The window's state on the display, as a test wants it before a call.
    void pip(uint8_t status, uint8_t mode = 1) {
        fw().set_u8("pip", status);
        fw().set_u8("pip-mode", mode);
    }
    void window(int16_t width, int16_t height) {
        qv::sim::Payload& p = fw().payload("pip-size");
        p[0] = 3;
        p[1] = static_cast<uint8_t>(width & 0xFF);
        p[2] = static_cast<uint8_t>((width >> 8) & 0xFF);
        p[3] = static_cast<uint8_t>(height & 0xFF);
        p[4] = static_cast<uint8_t>((height >> 8) & 0xFF);
    }
    void pip_source(int16_t width, int16_t height) {
        fw().state.guards.pip_width = width;
        fw().state.guards.pip_height = height;
    }
};

// ------------------------------------------------------------------ guards

struct GuardCase {
    const char* name;
    std::function<void()> setup;
    std::function<int()> call;
    int rc;
    std::vector<std::string> requests;  // everything the display received
    std::string printed;                // everything printed, logging on
};

class PipGuards : public PipTest {};

TEST_F(PipGuards, EachGuardReadsWhatItNeedsAndRefusesWithItsLine) {
    uint8_t u8 = 0;
    int16_t a = 0, b = 0;
    const std::vector<GuardCase> cases = {
        {"A: mode read with PIP off", [this] { pip(0); }, [&] { return GetPIPMode(&u8); },
         RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPMode: PIP is OFF.\n"},
        {"A: status 2 is not exactly on", [this] { pip(2); }, [&] { return GetPIPMode(&u8); },
         RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 2 \n<ERROR> GetPIPMode: PIP is OFF.\n"},
        {"A: a bad mode is not looked at while PIP is off", [this] { pip(0); },
         [] { return SetPIPMode(3); }, RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> SetPIPMode: PIP is OFF.\n"},
        {"A: with PIP on the mode is checked", [this] { pip(1); }, [] { return SetPIPMode(0); },
         RC_INVALID_ARGUMENT, {"get 4,0"},
         "PIP status received is 1 \n<ERROR> SetPIPMode: Validation Failed.\n"},
        {"A: mode read passes", [this] { pip(1, 2); }, [&] { return GetPIPMode(&u8); }, RC_OK,
         {"get 4,0", "get 4,1"}, "PIP status received is 1 \nPIP mode received is 2 \n"},
        {"A: a failed status read counts as off",
         [this] { pip(1); fw().refuse(8, 4, 0, 1); }, [&] { return GetPIPMode(&u8); },
         RC_NOT_ALLOWED, {"get 4,0"},
         "<ERROR> GetPIPStatus: RegUsbApi Failed.\n<ERROR> GetPIPMode: PIP is OFF.\n"},
        {"B: size read with PIP off prints both refusals", [this] { pip(0); },
         [&] { return GetPIPSize(&u8, &a, &b); }, RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPMode: PIP is OFF.\n"
         "<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {"B: mode 2", [this] { pip(1, 2); }, [&] { return GetPIPPosition(&u8, &a, &b); },
         RC_NOT_ALLOWED, {"get 4,0", "get 4,1"},
         "PIP status received is 1 \nPIP mode received is 2 \n<ERROR> GetPIPPosition: Pip mode Failed.\n"},
        {"B: size set with a bad selector in mode 2 is not checked", [this] { pip(1, 2); },
         [] { return SetPIPSize(9, 720); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,1"},
         "PIP status received is 1 \nPIP mode received is 2 \n<ERROR> SetPIPSize: Pip mode Failed.\n"},
        {"B: a failed mode read counts as not mode 1",
         [this] { pip(1); fw().refuse(8, 4, 1, 1); }, [] { return SetPIPSize(0, 0); },
         RC_NOT_ALLOWED, {"get 4,0", "get 4,1"},
         "PIP status received is 1 \n<ERROR> GetPIPMode: RegUsbApi Failed.\n"
         "<ERROR> SetPIPSize: Pip mode Failed.\n"},
        {"position set: the size read's refusal ends it, nothing more printed", [this] { pip(0); },
         [] { return SetPIPPosition(9, 0, 0); }, RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPMode: PIP is OFF.\n"
         "<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {"position set: a refused size read passes its code on",
         [this] { pip(1); fw().refuse(8, 4, 2, 1); }, [] { return SetPIPPosition(0, 0, 0); },
         RC_DEVICE_STATUS, {"get 4,0", "get 4,1", "get 4,2"},
         "PIP status received is 1 \nPIP mode received is 1 \n<ERROR> GetPIPSize: RegUsbApi Failed.\n"},
        {"C: PIP off", [this] { pip(0); }, [&] { return GetPIPPrimaryInput(&u8); },
         RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPPrimaryInput: Pip mode Failed.\n"},
        {"C: a bad value is not looked at while PIP is off", [this] { pip(0); },
         [] { return SetSwapPIPInputsStatus(7); }, RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> SetSwapPIPInputsStatus: Pip mode Failed.\n"},
        {"C: any non-zero status passes", [this] { pip(2, 2); fw().set_u8("pip-overscan", 1); },
         [&] { return GetPIPOverscanStatus(&u8); }, RC_OK, {"get 4,0", "get 4,8"},
         "PIP status received is 2 \nPIP OverScan Status is 1 \n"},
        {"D: PIP off, the resolution guard's code", [this] { pip(0); },
         [&] { return GetPIPDciStatus(&u8); }, RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n"
         "<ERROR> GetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: source not in a DCI timing", [this] { pip(1); pip_source(1920, 1080); },
         [] { return SetPIPDciStatus(3); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \npvActive =1080 phActive =1920\nVactive = 1080 , hActive = 1920 "
         "<ERROR> SetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: source resolution unreadable", [this] { pip(1); fw().refuse(8, 4, 27, 1); },
         [&] { return GetPIPDciStatus(&u8); }, RC_FAILED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \n<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n"
         "<ERROR> GetPIPDciStatus: Pip not in DCI:  Failed.\n"},
        {"D: DCI source, then the value is checked", [this] { pip(1); pip_source(4096, 2160); },
         [] { return SetPIPDciStatus(3); }, RC_INVALID_ARGUMENT, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \npvActive =2160 phActive =4096\nVactive = 2160 , hActive = 4096 "
         "<ERROR> SetPIPDciStatus: Validation Failed.\n"},
        {"D: DCI source, value sent", [this] { pip(1); pip_source(2048, 1080); },
         [] { return SetPIPDciStatus(2); }, RC_OK, {"get 4,0", "get 4,27", "set 3,9"},
         "PIP status received is 1 \npvActive =1080 phActive =2048\nVactive = 1080 , hActive = 2048 "},
    };
    connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fw().clear_refusals();
        c.setup();
        fw().clear_requests();
        int rc = 0;
        const std::string printed = own_output([&] { rc = c.call(); });
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.requests);
        EXPECT_EQ(printed, c.printed);
    }
}

TEST_F(PipGuards, WithLoggingOffOnlyTheResolutionLinePrints) {
    connect();
    pip(1);
    pip_source(1920, 1080);
    SetLog(0);
    uint8_t dci = 9;
    EXPECT_EQ(own_output([&] { EXPECT_EQ(GetPIPDciStatus(&dci), RC_NOT_ALLOWED); }),
              "pvActive =1080 phActive =1920\n");
    EXPECT_EQ(dci, 9);
    pip(0);
    int16_t a = 0, b = 0;
    EXPECT_EQ(own_output([&] { EXPECT_EQ(SetPIPPosition(4, 0, 0), RC_NOT_ALLOWED); }), "");
    EXPECT_EQ(own_output([&] { EXPECT_EQ(GetPIPSize(&dci, &a, &b), RC_NOT_ALLOWED); }), "");
    EXPECT_EQ(fw().count_requests(3), 0u);
}

TEST_F(PipGuards, WithoutAConnectionTheGuardsRefuse) {
    uint8_t u8 = 0;
    int16_t a = 0, b = 0;
    EXPECT_EQ(GetPIPMode(&u8), RC_NOT_ALLOWED);
    EXPECT_EQ(SetPIPPrimaryInput(1), RC_NOT_ALLOWED);
    EXPECT_EQ(SetPIPPosition(0, 0, 0), RC_NOT_ALLOWED);
    EXPECT_EQ(GetPIPSize(&u8, &a, &b), RC_NOT_ALLOWED);
    EXPECT_EQ(GetPIPDciStatus(&u8), RC_NOT_ALLOWED);
}

// ------------------------------------------------------------------ plain settings

struct PlainSetting {
    const char* cli;
    int (*get)(uint8_t*);
    int (*set)(uint8_t);
    int low, high;
    int item;
    const char* line;  // value line, %d
};

TEST_F(PipTest, PlainSettingsCheckTheirRangeAndReachTheDisplay) {
    const PlainSetting settings[] = {
        {"pip-mode", GetPIPMode, SetPIPMode, 1, 2, 1, "PIP mode received is %d \n"},
        {"pip-primary-input", GetPIPPrimaryInput, SetPIPPrimaryInput, 0, 4, 4, "Primary Input is %d \n"},
        {"pip-secondary-input", GetPIPSecondaryInput, SetPIPSecondaryInput, 0, 4, 5, "Secondary Input is %d \n"},
        {"pip-swap-inputs", GetSwapPIPInputsStatus, SetSwapPIPInputsStatus, 0, 1, 6, "Swap PIP input status is %d \n"},
        {"pip-video-legal", GetPIPVideoLegalStatus, SetPIPVideoLegalStatus, 0, 1, 7, "PIP Video Legal is %d \n"},
        {"pip-overscan", GetPIPOverscanStatus, SetPIPOverscanStatus, 0, 1, 8, "PIP OverScan Status is %d \n"},
        {"pip-dci", GetPIPDciStatus, SetPIPDciStatus, 0, 2, 9, "PIP DCI Status is %d \n"},
    };
    connect();
    pip(1);
    pip_source(4096, 2160);
    for (const auto& s : settings) {
        SCOPED_TRACE(s.cli);
        for (const int bad : {s.low - 1, s.high + 1}) {
            if (bad < 0) continue;
            fw().clear_requests();
            EXPECT_EQ(s.set(static_cast<uint8_t>(bad)), RC_INVALID_ARGUMENT);
            EXPECT_EQ(fw().count_requests(3), 0u);
        }
        for (const int good : {s.low, s.high}) {
            fw().clear_requests();
            ASSERT_EQ(s.set(static_cast<uint8_t>(good)), RC_OK);
            const auto& set = fw().requests().back();
            EXPECT_TRUE(set.is_set(3, s.item));
            EXPECT_EQ(set.bytes[7], good);
            EXPECT_EQ(set.bytes[8], 0);
            uint8_t value = 0xEE;
            const std::string printed = own_output([&] { ASSERT_EQ(s.get(&value), RC_OK); });
            EXPECT_EQ(value, good);
            char line[64];
            std::snprintf(line, sizeof line, s.line, good);
            EXPECT_NE(printed.find(line), std::string::npos) << printed;
            EXPECT_TRUE(fw().requests().back().is_get(4, s.item));
        }
    }
}

TEST_F(PipTest, RefusedReadsLeaveTheCallersValue) {
    connect();
    pip(1);
    uint8_t value = 0x5A;
    fw().refuse(8, 4, 4, 1);
    EXPECT_EQ(GetPIPPrimaryInput(&value), RC_DEVICE_STATUS);
    EXPECT_EQ(value, 0x5A);
    uint8_t sel = 0x5A;
    int16_t x = 77, y = 88;
    fw().refuse(8, 4, 3, 1);
    EXPECT_EQ(GetPIPPosition(&sel, &x, &y), RC_DEVICE_STATUS);
    EXPECT_EQ(sel, 0x5A);
    EXPECT_EQ(x, 77);
    EXPECT_EQ(y, 88);
}

// ------------------------------------------------------------------ position and size records

TEST_F(PipTest, PositionAndSizeReadsPrintTheirThreeLines) {
    connect();
    pip(1);
    window(1365, 720);
    qv::sim::Payload& pos = fw().payload("pip-position");
    pos = {4, 0xFB, 0xFF, 0x10, 0x00};  // custom, X -5, Y 16
    uint8_t sel = 0;
    int16_t a = 0, b = 0;
    std::string printed = own_output([&] { ASSERT_EQ(GetPIPPosition(&sel, &a, &b), RC_OK); });
    EXPECT_EQ(sel, 4);
    EXPECT_EQ(a, -5);
    EXPECT_EQ(b, 16);
    EXPECT_EQ(printed, "PIP status received is 1 \nPIP mode received is 1 \n"
                       "PIP Position Status is 4 \nPIP X = -5 \nPIP Y = 16 \n");
    printed = own_output([&] { ASSERT_EQ(GetPIPSize(&sel, &a, &b), RC_OK); });
    EXPECT_EQ(sel, 3);
    EXPECT_EQ(a, 1365);
    EXPECT_EQ(b, 720);
    EXPECT_NE(printed.find("PIP Size Status is 3 \nPIP Width = 1365 \nPIP Height = 720 \n"), std::string::npos);
}

struct PositionCase {
    int16_t width, height;  // current window
    uint8_t selector;
    int16_t x, y;
    int rc;
    const char* line;  // the refusal line, or nullptr
};

TEST_F(PipTest, CustomPositionStaysInsideTheFrameForTheCurrentWindow) {
    const PositionCase cases[] = {
        {568, 300, 4, 203, 500, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:XValue Validation Failed.\n"},
        {568, 300, 4, 204, 108, RC_OK, nullptr},
        {568, 300, 4, 3324, 1752, RC_OK, nullptr},
        {568, 300, 4, 3325, 1752, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:XValue Validation Failed.\n"},
        {568, 300, 4, 3324, 1753, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:YValue Validation Failed.\n"},
        {568, 300, 4, 3324, 107, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:YValue Validation Failed.\n"},
        {568, 300, 4, 3325, 5000, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:XValue Validation Failed.\n"},
        {2048, 1080, 4, 1844, 972, RC_OK, nullptr},
        {2048, 1080, 4, 204, 108, RC_OK, nullptr},
        {2048, 1080, 4, 1845, 108, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:XValue Validation Failed.\n"},
        {2048, 1080, 4, 204, 973, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:YValue Validation Failed.\n"},
        {2048, 1080, 4, -1, 108, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition:XValue Validation Failed.\n"},
        {568, 300, 2, 4096, -5, RC_OK, nullptr},   // presets are sent unchecked
        {568, 300, 0, -32768, 32767, RC_OK, nullptr},
        {568, 300, 5, 204, 108, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition: Validation Failed.\n"},
        {568, 300, 255, 204, 108, RC_INVALID_ARGUMENT, "<ERROR> SetPIPPosition: Validation Failed.\n"},
    };
    connect();
    pip(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " sel " << int(c.selector) << " ("
                                        << c.x << ", " << c.y << ")");
        window(c.width, c.height);
        fw().clear_requests();
        int rc = 0;
        const std::string printed = own_output([&] { rc = SetPIPPosition(c.selector, c.x, c.y); });
        EXPECT_EQ(rc, c.rc);
        const std::vector<std::string> reads = {"get 4,0", "get 4,1", "get 4,2"};
        if (c.rc == RC_OK) {
            auto expected = reads;
            expected.push_back("set 3,3");
            ASSERT_EQ(sent(fw()), expected);
            const auto& set = fw().requests().back();
            EXPECT_EQ(set.bytes[7], c.selector);
            EXPECT_EQ(s16_at(set, 8), c.x);
            EXPECT_EQ(s16_at(set, 10), c.y);
            for (std::size_t i = 12; i < 32; ++i) EXPECT_EQ(set.bytes[i], 0) << i;
        } else {
            EXPECT_EQ(sent(fw()), reads);
            ASSERT_GE(printed.size(), std::strlen(c.line));
            EXPECT_EQ(printed.substr(printed.size() - std::strlen(c.line)), c.line);
        }
    }
}

TEST_F(PipTest, PositionLimitsComeFromTheTableRowOfTheMonitorType) {
    for (const int type : {1, 2}) {
        SCOPED_TRACE(int(type));
        LimitsRestore restore;
        connect(static_cast<uint8_t>(type));
        pip(1);
        window(568, 300);
        const int row = type - 1;
        sPipLimits[row][0] = 400;
        sPipLimits[row][2] = 0x10000 + 200;  // only the low 16 bits count
        sPipLimits[1 - row][0] = 100;        // the other row is not read
        EXPECT_EQ(SetPIPPosition(4, 399, 300), RC_INVALID_ARGUMENT);
        EXPECT_EQ(SetPIPPosition(4, 400, 199), RC_INVALID_ARGUMENT);
        EXPECT_EQ(SetPIPPosition(4, 4096 - 400 - 568, 2160 - 200 - 300), RC_OK);
        EXPECT_EQ(SetPIPPosition(4, 4096 - 400 - 568 + 1, 300), RC_INVALID_ARGUMENT);
        Disconnect();
    }
}

TEST_F(PipTest, ExportedLimitsHoldTheDisplaysValues) {
    for (const auto& row : sPipLimits) {
        EXPECT_EQ(row[0], 204);
        EXPECT_EQ(row[1], 3324);
        EXPECT_EQ(row[2], 108);
        EXPECT_EQ(row[3], 1752);
        EXPECT_EQ(row[4], 300);
        EXPECT_EQ(row[5], 1080);
    }
}

struct SizeCase {
    uint8_t selector;
    int16_t height;
    int rc;
    int16_t sent_width;  // when sent
};

TEST_F(PipTest, CustomSizeIsCheckedAndItsWidthFollowsTheAspect) {
    const SizeCase cases[] = {
        {3, 299, RC_INVALID_ARGUMENT, 0}, {3, 1081, RC_INVALID_ARGUMENT, 0}, {3, -300, RC_INVALID_ARGUMENT, 0},
        {3, 300, RC_OK, 568},             {3, 720, RC_OK, 1365},             {3, 1080, RC_OK, 2048},
        {3, 301, RC_OK, 570},             {4, 720, RC_INVALID_ARGUMENT, 0},  {0, 5000, RC_OK, 0},
        {2, -1, RC_OK, 0},                {1, 720, RC_OK, 0},
    };
    connect();
    pip(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "SetPIPSize(" << int(c.selector) << ", " << c.height << ")");
        fw().clear_requests();
        int rc = 0;
        const std::string printed = own_output([&] { rc = SetPIPSize(c.selector, c.height); });
        EXPECT_EQ(rc, c.rc);
        if (c.rc != RC_OK) {
            EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,1"}));
            EXPECT_NE(printed.find("<ERROR> SetPIPSize: Validation Failed.\n"), std::string::npos);
            continue;
        }
        ASSERT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,1", "set 3,2"}));
        const auto& set = fw().requests().back();
        EXPECT_EQ(set.bytes[7], c.selector);
        EXPECT_EQ(s16_at(set, 8), c.sent_width);
        EXPECT_EQ(s16_at(set, 10), c.height);
    }
}

TEST_F(PipTest, SizeLimitsComeFromTheTable) {
    LimitsRestore restore;
    connect(1);
    pip(1);
    sPipLimits[0][4] = 400;
    sPipLimits[0][5] = 0x20000 + 900;
    EXPECT_EQ(SetPIPSize(3, 399), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPSize(3, 901), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPSize(3, 900), RC_OK);
    EXPECT_EQ(s16_at(fw().requests().back(), 8), 1706);
}

// A monitor type without a row in the limits table offers no custom window; presets still work.
TEST_F(PipTest, CustomWindowOnAnUnlistedMonitorTypeIsNotSupported) {
    connect(3);
    pip(1);
    window(568, 300);
    std::string printed = own_output([] { EXPECT_EQ(SetPIPPosition(4, 204, 108), RC_NOT_SUPPORTED); });
    EXPECT_EQ(printed.find("<ERROR> SetPIPPosition"), std::string::npos) << printed;
    printed = own_output([] { EXPECT_EQ(SetPIPSize(3, 720), RC_NOT_SUPPORTED); });
    EXPECT_EQ(printed.find("<ERROR> SetPIPSize"), std::string::npos) << printed;
    EXPECT_EQ(fw().count_requests(3), 0u);
    // The selector is checked first.
    EXPECT_EQ(SetPIPPosition(5, 204, 108), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPSize(4, 720), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetPIPPosition(1, 204, 108), RC_OK);
    EXPECT_EQ(SetPIPSize(2, 0), RC_OK);
}

// ------------------------------------------------------------------ the window on the display

TEST_F(PipTest, WindowSetUpThroughTheLibraryDrivesTheLimits) {
    connect();
    ASSERT_EQ(SetPIPStatus(1), RC_OK);
    ASSERT_EQ(SetPIPMode(1), RC_OK);
    ASSERT_EQ(SetPIPSize(2, 0), RC_OK);  // the largest preset: 2048 x 1080
    uint8_t sel = 0;
    int16_t w = 0, h = 0;
    ASSERT_EQ(GetPIPSize(&sel, &w, &h), RC_OK);
    EXPECT_EQ(sel, 2);
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 1080);
    EXPECT_EQ(SetPIPPosition(4, 1845, 108), RC_INVALID_ARGUMENT);
    ASSERT_EQ(SetPIPSize(3, 720), RC_OK);
    EXPECT_EQ(SetPIPPosition(4, 1845, 108), RC_OK);
    int16_t x = 0, y = 0;
    ASSERT_EQ(GetPIPPosition(&sel, &x, &y), RC_OK);
    EXPECT_EQ(sel, 4);
    EXPECT_EQ(x, 1845);
    EXPECT_EQ(y, 108);
    // A preset position sits in a corner of the frame for the current size.
    ASSERT_EQ(SetPIPPosition(3, 0, 0), RC_OK);
    ASSERT_EQ(GetPIPPosition(&sel, &x, &y), RC_OK);
    EXPECT_EQ(sel, 3);
    EXPECT_EQ(x, 4096 - 204 - 1365);
    EXPECT_EQ(y, 2160 - 108 - 720);
    // Mode 2 closes the position and size functions; PIP off closes the rest.
    ASSERT_EQ(SetPIPMode(2), RC_OK);
    EXPECT_EQ(GetPIPSize(&sel, &w, &h), RC_NOT_ALLOWED);
    EXPECT_EQ(SetPIPPrimaryInput(3), RC_OK);
    ASSERT_EQ(SetPIPStatus(0), RC_OK);
    EXPECT_EQ(SetPIPPrimaryInput(3), RC_NOT_ALLOWED);
    EXPECT_EQ(SetPIPMode(1), RC_NOT_ALLOWED);
}

TEST_F(PipTest, MalformedRepliesStayInsideTheCallersStorage) {
    connect();
    pip(1);
    window(568, 300);
    fw().payload("pip-position") = {4, 0x2C, 0x01, 0x90, 0x01};  // custom, 300, 400
    struct {
        uint8_t before[8];
        int16_t x;
        uint8_t after[8];
    } guarded{};
    std::memset(guarded.before, 0xA5, sizeof guarded.before);
    std::memset(guarded.after, 0x5A, sizeof guarded.after);
    uint8_t sel = 0;
    int16_t y = 0;
    // A reply longer than the packet: only the packet's own bytes are used.
    bus->bridge(0).faults.extra_reply_bytes = 40;
    EXPECT_EQ(GetPIPPosition(&sel, &guarded.x, &y), RC_OK);
    EXPECT_EQ(sel, 4);
    EXPECT_EQ(guarded.x, 300);
    EXPECT_EQ(y, 400);
    bus->bridge(0).faults.extra_reply_bytes = 0;
    bus->bridge(0).clear();
    // A reply cut short inside the record.
    bus->bridge(0).faults.truncate_reply = 9;
    const int rc = GetPIPSize(&sel, &guarded.x, &y);
    EXPECT_TRUE(rc == RC_OK || rc == RC_NOT_ALLOWED || rc == RC_EXCHANGE_FAILED) << rc;
    for (const uint8_t b : guarded.before) EXPECT_EQ(b, 0xA5);
    for (const uint8_t b : guarded.after) EXPECT_EQ(b, 0x5A);
}

}  // namespace
}  // namespace qvtest
