// Bezel buttons, function buttons and on-screen notices against the simulated display.
#include "support/setting_cases.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Buttons : public SimTest {};

#define QV_U8(G, S) #G, G, #S, S

const U8Setting kButtonSettings[] = {
    {QV_U8(GetBezelButtonColor, SetBezelButtonColor), 9, 0, {0, 2}, {3}, "Bezel Button Color is %d \n"},
    {QV_U8(GetBezelButtonBrightness, SetBezelButtonBrightness), 9, 1, {0, 10, 100}, {5, 55, 99, 110}, "Bezel Button Brightness is %d \n"},
    {QV_U8(GetBezelButtonAutoFadeStatus, SetBezelButtonAutoFadeStatus), 9, 2, {0, 1}, {2}, "Bezel Button AutoFadeStatus is %d \n"},
    {QV_U8(GetFunctionButtonMode, SetFunctionButtonMode), 8, 4, {0, 1}, {2}, "Function Button Mode is %d \n"},
    {QV_U8(GetShowPowerOnInfoStatus, SetShowPowerOnInfoStatus), 7, 3, {0, 1}, {2}, "Show PowerOn info %d \n"},
    {QV_U8(GetShowInputSourceInfoStatus, SetShowInputSourceInfoStatus), 7, 4, {0, 1}, {2}, "Input Source Info  %d \n"},
    {QV_U8(GetShowColorspaceInfoStatus, SetShowColorspaceInfoStatus), 7, 5, {0, 1}, {2}, "Show ColorSpaceInfo Status = %d \n"},
    {QV_U8(GetShowWarmupTimeReminderStatus, SetShowWarmupTimeReminderStatus), 7, 6, {0, 1}, {2}, "Show WarmupTime Reminder Info %d \n"},
    {QV_U8(GetShowCalibrationNotificationStatus, SetShowCalibrationNotificationStatus), 7, 7, {0, 1}, {2}, "Show CalibrationNotification Info %d \n"},
};

TEST_F(Buttons, SettersSendTheirRangeAndRefuseTheRest) {
    connect_first();
    for (const auto& s : kButtonSettings) check_u8_setting(fw(), s);
}

const std::string kButtonLine = "<ERROR> SetFunctionButtonSettings: RegUsbApi Button value validation \n";
const std::string kValueLine = "<ERROR> SetFunctionButtonSettings: Validation Failed.\n";

TEST_F(Buttons, FunctionButtonSettingsCheckTheButtonFirst) {
    connect_first();
    const struct {
        uint16_t button;
        int16_t setting;
        int rc;
        std::string line;
        int item;  // sent to this item when rc is RC_OK
    } cases[] = {
        {4, 18, RC_OK, "", 3},
        {1, 0, RC_OK, "", 0},
        {0, 5, RC_INVALID_ARGUMENT, kButtonLine, -1},
        {5, 5, RC_INVALID_ARGUMENT, kButtonLine, -1},
        {0x8001, 5, RC_INVALID_ARGUMENT, kButtonLine, -1},
        {1, 19, RC_INVALID_ARGUMENT, kValueLine, -1},
        {1, -1, RC_INVALID_ARGUMENT, kValueLine, -1},
        {0, 19, RC_INVALID_ARGUMENT, kButtonLine, -1},  // both bad: the button decides
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.button) + "," + std::to_string(c.setting));
        fw().clear_requests();
        int rc = -100;
        EXPECT_EQ(captured([&] { rc = SetFunctionButtonSettings(c.button, c.setting); }), c.line);
        EXPECT_EQ(rc, c.rc);
        if (c.rc != RC_OK) {
            EXPECT_TRUE(fw().requests().empty());
            continue;
        }
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_EQ(fw().requests()[0].bytes, set_packet(8, c.item, static_cast<uint16_t>(c.setting)));
        int16_t got = -100;
        ASSERT_EQ(GetFunctionButtonSettings(c.button, &got), RC_OK);
        EXPECT_EQ(got, c.setting);
    }
}

TEST_F(Buttons, GetFunctionButtonSettingsMapsTheButtonToItsItem) {
    connect_first();
    fw().set_s16("function-button-2", -2);  // printed signed
    int16_t got = 0;
    int rc = -100;
    EXPECT_EQ(captured([&] { rc = GetFunctionButtonSettings(2, &got); }), "Function Button Settings is -2 \n");
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(got, -2);
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes, get_packet(8, 1));

    fw().clear_requests();
    got = 7;
    EXPECT_EQ(captured([&] { rc = GetFunctionButtonSettings(5, &got); }),
              "<ERROR> GetFunctionButtonSettings: RegUsbApi Button value validation \n");
    EXPECT_EQ(rc, RC_INVALID_ARGUMENT);
    EXPECT_EQ(got, 7);
    EXPECT_TRUE(fw().requests().empty());

    SetLog(0);
    EXPECT_EQ(captured([&] { rc = GetFunctionButtonSettings(0, &got); }), "");
    EXPECT_EQ(captured([&] { rc = GetFunctionButtonSettings(2, &got); }), "");
    SetLog(1);

    fw().refuse(8, 8, 3, 1, 1);
    got = 7;
    EXPECT_EQ(GetFunctionButtonSettings(4, &got), RC_DEVICE_STATUS);
    EXPECT_EQ(got, 7);
}

}  // namespace
}  // namespace qvtest
