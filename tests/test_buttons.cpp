// Bezel buttons, function buttons and on-screen notices against the simulated display.
#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Buttons : public SettingTest {};

// Buttons 1..4 are items 0..3 of page 8; both functions check the button first. The display
// holds -2 for each button (printed signed) until a set changes it.
TEST_F(Buttons, FunctionButtonSettings) {
    connect_first();
    const auto button_line = [](const char* f) {
        return Outcome(RC_INVALID_ARGUMENT, std::string("<ERROR> ") + f + ": RegUsbApi Button value validation \n");
    };
    constexpr int kBad = RC_INVALID_ARGUMENT;
    const struct {
        uint16_t button;
        int16_t setting;
        int rc;
    } cases[] = {{4, 18, RC_OK}, {1, 0, RC_OK}, {2, 19, kBad}, {3, -1, kBad},
                 {0, 5, kBad}, {5, 5, kBad}, {0x8001, 5, kBad}, {0, 19, kBad}};  // the last: the button decides
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.button) + "," + std::to_string(c.setting));
        const bool good = c.button >= 1 && c.button <= 4;
        if (good) fw().set_s16("function-button-" + std::to_string(c.button), -2);
        fw().clear_requests();
        EXPECT_EQ(result_of([&] { return SetFunctionButtonSettings(c.button, c.setting); }),
                  good ? outcome("SetFunctionButtonSettings", c.rc) : button_line("SetFunctionButtonSettings"));
        int16_t got = 7;
        const int16_t held = c.rc == RC_OK ? c.setting : -2;
        EXPECT_EQ(result_of([&] { return GetFunctionButtonSettings(c.button, &got); }),
                  good ? Outcome(RC_OK, "Function Button Settings is " + std::to_string(held) + " \n")
                       : button_line("GetFunctionButtonSettings"));
        EXPECT_EQ(got, good ? held : 7);
        Packets sent;
        if (good && c.rc == RC_OK) sent.push_back(setting_packet(3, 8, c.button - 1, c.setting));
        if (good) sent.push_back(setting_packet(8, 8, c.button - 1));
        EXPECT_EQ(packets(fw()), sent);
    }
    int16_t got = 7;
    EXPECT_EQ(output_of([&] { GetFunctionButtonSettings(0, &got); GetFunctionButtonSettings(2, &got); }), "");
    fw().refuse(8, 8, 3, 1, 1);
    got = 7;
    EXPECT_EQ(GetFunctionButtonSettings(4, &got), RC_DEVICE_STATUS);
    EXPECT_EQ(got, 7);
}

}  // namespace
}  // namespace qvtest
