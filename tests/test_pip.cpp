// Picture-in-picture: the mode guards, the plain settings' refusals and the custom window's
// limits.
#include <cstring>
#include <functional>

#include "support/setting_cases.h"

namespace qvtest {
namespace {

uint8_t lo(int v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t hi(int v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }
const std::string kOn = "PIP status received is 1 \n", kOff = "PIP status received is 0 \n", kMode1 = kOn + "PIP mode received is 1 \n";
const std::string kModeOff = kOff + "<ERROR> GetPIPMode: PIP is OFF.\n", kNoDci = "Pip not in DCI:  Failed.\n";

class Pip : public SimTest {
protected:
    void connect(uint8_t type = 2) {  // PIP on in mode 1, window 568 x 300 at 204, 108
        if (bus) captured([] { Disconnect(); });
        make_bus(1, type);
        connect_first();
        pip(1);
    }
    void pip(uint8_t status, uint8_t mode = 1) { fw().set_u8("pip", status); fw().set_u8("pip-mode", mode); }
    void source(int w, int h) { fw().state.guards.pip_width = static_cast<int16_t>(w); fw().state.guards.pip_height = static_cast<int16_t>(h); }
};

// A: status exactly 1 (a failed read counts as off); B: mode 1 read through GetPIPMode, and
// SetPIPPosition's guard is GetPIPSize; C: any non-zero status; D: the PIP source's DCI verdict.
TEST_F(Pip, GuardsSendTheirQueryAndPrintTheirRefusal) {
    uint8_t u8 = 0;
    int16_t a = 0, b = 0;
    const struct { uint8_t status, mode; int refused_item; bool dci; std::function<int()> call; int rc;
                   std::vector<std::string> sent; std::string printed; } cases[] = {
        {0, 1, -1, 0, [&] { return GetPIPMode(&u8); }, RC_NOT_ALLOWED, {"get 4,0"}, kModeOff},
        {2, 1, -1, 0, [&] { return GetPIPMode(&u8); }, RC_NOT_ALLOWED, {"get 4,0"}, "PIP status received is 2 \n<ERROR> GetPIPMode: PIP is OFF.\n"},
        {0, 1, -1, 0, [] { return SetPIPMode(3); }, RC_NOT_ALLOWED, {"get 4,0"}, kOff + "<ERROR> SetPIPMode: PIP is OFF.\n"},
        {1, 1, 0, 0, [] { return SetPIPMode(1); }, RC_NOT_ALLOWED, {"get 4,0"}, "<ERROR> GetPIPStatus: RegUsbApi Failed.\n<ERROR> SetPIPMode: PIP is OFF.\n"},
        {0, 1, -1, 0, [&] { return GetPIPSize(&u8, &a, &b); }, RC_NOT_ALLOWED, {"get 4,0"}, kModeOff + "<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {1, 2, -1, 0, [] { return SetPIPSize(9, 720); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,1"},
         kOn + "PIP mode received is 2 \n<ERROR> SetPIPSize: Pip mode Failed.\n"},
        {0, 1, -1, 0, [] { return SetPIPPosition(9, 0, 0); }, RC_NOT_ALLOWED, {"get 4,0"}, kModeOff + "<ERROR> GetPIPSize: Pip mode Failed.\n"},
        {1, 1, 2, 0, [] { return SetPIPPosition(0, 0, 0); }, RC_DEVICE_STATUS, {"get 4,0", "get 4,1", "get 4,2"},
         kMode1 + "<ERROR> GetPIPSize: RegUsbApi Failed.\n"},
        {1, 1, -1, 0, [&] { return GetPIPPosition(&u8, &a, &b); }, RC_OK, {"get 4,0", "get 4,1", "get 4,3"},
         kMode1 + "PIP Position Status is 0 \nPIP X = 204 \nPIP Y = 108 \n"},
        {0, 1, -1, 0, [] { return SetSwapPIPInputsStatus(7); }, RC_NOT_ALLOWED, {"get 4,0"}, kOff + "<ERROR> SetSwapPIPInputsStatus: Pip mode Failed.\n"},
        {2, 2, -1, 0, [&] { return GetPIPOverscanStatus(&u8); }, RC_OK, {"get 4,0", "get 4,8"}, "PIP status received is 2 \nPIP OverScan Status is 0 \n"},
        {0, 1, -1, 0, [&] { return GetPIPDciStatus(&u8); }, RC_NOT_ALLOWED, {"get 4,0"},
         kOff + "<ERROR> GetPIPResolution: Pip mode Failed.\n<ERROR> GetPIPDciStatus: " + kNoDci},
        {1, 1, -1, 0, [] { return SetPIPDciStatus(3); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,27"},
         kOn + "pvActive =1080 phActive =1920\nVactive = 1080 , hActive = 1920 <ERROR> SetPIPDciStatus: " + kNoDci},
        {1, 1, 27, 0, [&] { return GetPIPDciStatus(&u8); }, RC_FAILED, {"get 4,0", "get 4,27"},
         kOn + "<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n<ERROR> GetPIPDciStatus: " + kNoDci},
        {1, 1, -1, 1, [] { return SetPIPDciStatus(3); }, RC_INVALID_ARGUMENT, {"get 4,0", "get 4,27"},
         kOn + "pvActive =2160 phActive =4096\nVactive = 2160 , hActive = 4096 <ERROR> SetPIPDciStatus: Validation Failed.\n"},
    };
    connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        fw().clear_refusals();
        pip(c.status, c.mode);
        source(c.dci ? 4096 : 1920, c.dci ? 2160 : 1080);
        if (c.refused_item >= 0) fw().refuse(8, 4, c.refused_item, 1);
        fw().clear_requests();
        int rc = 0;
        EXPECT_EQ(printed([&] { rc = c.call(); }), c.printed);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.sent);
    }
}

// Each row behind its own guard, refused with PIP off (driven through its bounds with PIP on in
// the display-statement test).
TEST_F(Pip, PlainSettingsAreRefusedWithPipOff) {
    const struct { int (*get)(uint8_t*); int (*set)(uint8_t); const char* off; } rows[] = {
        {GetPIPMode, SetPIPMode, "PIP is OFF.\n"},
        {GetPIPPrimaryInput, SetPIPPrimaryInput, "Pip mode Failed.\n"},
        {GetPIPSecondaryInput, SetPIPSecondaryInput, "Pip mode Failed.\n"},
        {GetSwapPIPInputsStatus, SetSwapPIPInputsStatus, "Pip mode Failed.\n"},
        {GetPIPVideoLegalStatus, SetPIPVideoLegalStatus, "Pip mode Failed.\n"},
        {GetPIPOverscanStatus, SetPIPOverscanStatus, "Pip mode Failed.\n"},
        {GetPIPDciStatus, SetPIPDciStatus, "Pip not in DCI:  Failed.\n"},
    };
    connect();
    source(2048, 1080);
    pip(0);
    for (const auto& s : rows) {
        SCOPED_TRACE(&s - rows);
        fw().clear_requests();
        uint8_t back = 0xEE;
        EXPECT_TRUE(printed([&] { EXPECT_EQ(s.get(&back), RC_NOT_ALLOWED); }).ends_with(s.off));
        EXPECT_TRUE(printed([&] { EXPECT_EQ(s.set(1), RC_NOT_ALLOWED); }).ends_with(s.off));
        EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,0"}));
        EXPECT_EQ(back, 0xEE);
    }
}

// Position: custom X/Y within the margins for the window's size as the display reports it;
// presets unchecked. Size: custom height within the limits, width at 4096:2160; presets send width 0.
TEST_F(Pip, CustomWindowWithinTheLimits) {
    const char *X = "<ERROR> SetPIPPosition:XValue Validation Failed.\n", *Y = "<ERROR> SetPIPPosition:YValue Validation Failed.\n";
    const char *P = "<ERROR> SetPIPPosition: Validation Failed.\n", *S = "<ERROR> SetPIPSize: Validation Failed.\n";
    const struct { bool size; int16_t h; uint8_t sel; int16_t a, b; const char* refusal; } cases[] = {
        // position, window 568 x 300 or 2048 x 1080: a, b = x, y
        {0, 300, 4, 203, 500, X},   {0, 300, 4, 204, 108, 0},   {0, 300, 4, 3324, 1752, 0},      {0, 300, 4, 3325, 1752, X},
        {0, 300, 4, 3324, 1753, Y}, {0, 300, 4, 3324, 107, Y},  {0, 300, 4, 3325, 9999, X},      {0, 1080, 4, 1844, 972, 0},
        {0, 1080, 4, 1845, 108, X}, {0, 1080, 4, 204, 973, Y},  {0, 300, 2, 4096, -5, 0},        {0, 300, 0, -32768, 32767, 0},
        {0, 300, 5, 204, 108, P},
        // size: a, b = width sent, height
        {1, 300, 3, 0, 299, S},     {1, 300, 3, 0, 1081, S},    {1, 300, 4, 0, 720, S},          {1, 300, 3, 568, 300, 0},
        {1, 300, 3, 1365, 720, 0},  {1, 300, 3, 2048, 1080, 0}, {1, 300, 3, 570, 301, 0},        {1, 300, 0, 0, 5000, 0},
        {1, 300, 2, 0, -1, 0},
    };
    connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.size ? "size " : "position ") << int(c.sel) << " " << c.a << "," << c.b);
        const int w = c.h == 300 ? 568 : 2048;
        fw().payload("pip-size") = {3, lo(w), hi(w), lo(c.h), hi(c.h)};
        fw().clear_requests();
        int rc = 0;
        const std::string out = printed([&] { rc = c.size ? SetPIPSize(c.sel, c.b) : SetPIPPosition(c.sel, c.a, c.b); });
        EXPECT_EQ(rc, c.refusal ? RC_INVALID_ARGUMENT : RC_OK);
        EXPECT_EQ(out, kMode1 + (c.size ? "" : "PIP Size Status is 3 \nPIP Width = " + std::to_string(w) + " \nPIP Height = " +
                                                   std::to_string(c.h) + " \n") + (c.refusal ? c.refusal : ""));
        ASSERT_EQ(fw().count_requests(3), c.refusal ? 0u : 1u);  // the reads show in the lines
        if (c.refusal) continue;
        EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 3}, {4, 3}, {5, c.size ? 2 : 3}, {7, c.sel}, {8, lo(c.a)},
                                                             {9, hi(c.a)}, {10, lo(c.b)}, {11, hi(c.b)}}));
    }
}

// The monitor type's row of the exported table, read at each call, low 16 bits of an entry.
TEST_F(Pip, LimitsComeFromTheMonitorTypesRow) {
    int64_t saved[2][6];
    std::memcpy(saved, sPipLimits, sizeof saved);
    for (const int row : {0, 1}) {
        connect(static_cast<uint8_t>(row + 1));
        sPipLimits[row][0] = 400;
        sPipLimits[row][2] = 0x10000 + 200;
        sPipLimits[row][5] = 900;
        sPipLimits[1 - row][0] = 100;  // the other row is not read
        EXPECT_EQ(std::vector({SetPIPPosition(4, 399, 300), SetPIPPosition(4, 400, 199), SetPIPPosition(4, 4096 - 400 - 568, 2160 - 200 - 300),
                               SetPIPSize(3, 901), SetPIPSize(3, 900)}),
                  std::vector<int>({RC_INVALID_ARGUMENT, RC_INVALID_ARGUMENT, RC_OK, RC_INVALID_ARGUMENT, RC_OK})) << row;
        std::memcpy(sPipLimits, saved, sizeof saved);
    }
    connect(3);  // no row: a custom window is not offered (silently); presets still are
    EXPECT_EQ(printed([] { EXPECT_EQ(SetPIPPosition(4, 204, 108), RC_NOT_SUPPORTED); }), kMode1 + "PIP Size Status is 0 \nPIP Width = 568 \nPIP Height = 300 \n");
    EXPECT_EQ(printed([] { EXPECT_EQ(SetPIPSize(3, 720), RC_NOT_SUPPORTED); }), kMode1);
    EXPECT_EQ(fw().count_requests(3), 0u);
    EXPECT_EQ(std::vector({SetPIPPosition(1, 204, 108), SetPIPSize(2, 0)}), std::vector<int>({RC_OK, RC_OK}));
}

}  // namespace
}  // namespace qvtest
