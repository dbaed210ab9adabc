// Power, connectivity and maintenance settings against the simulated display.
#include "support/setting_cases.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Power : public SimTest {};

#define QV_U8(G, S) #G, G, #S, S

const U8Setting kPowerSettings[] = {
    {QV_U8(GetAutoSleepMode, SetAutoSleepMode), 6, 0, {0, 1}, {2, 255}, "Autosleep mode is %d \n"},
    {QV_U8(GetPowerOnRecallStatus, SetPowerOnRecallStatus), 6, 1, {0, 1}, {2}, "PowerOnRecall Status is %d \n"},
    {QV_U8(GetDDCCICommnStatus, SetDDCCICommnStatus), 6, 2, {0, 1}, {2}, "DDCCI Communication status is %d \n"},
    {QV_U8(GetAutoEDIDUpdateStatus, SetAutoEDIDUpdateStatus), 6, 3, {0, 1}, {2}, "Auto EDID Update Status is %d \n"},
    {QV_U8(GetHotPlugInitiateStatus, SetHotPlugInitiateStatus), 6, 4, {0, 1}, {2}, "HotPlug Initiate status is %d \n"},
    {QV_U8(GetDPHPDStatus, SetDPHPDStatus), 6, 5, {0, 1}, {2}, "DPHPD Status is %d \n"},
    {QV_U8(GetFirmwareUpdateStatus, SetFirmwareUpdateStatus), 6, 14, {0, 3}, {4}, "Firware Update Status is %d \n"},
    {QV_U8(GetUserPresetSupportStatus, SetUserPresetSupportStatus), 6, 15, {0, 1}, {2}, "User Preset Status is %d \n"},
    {QV_U8(GetUSBCInputConfiguration, SetUSBCInputConfiguration), 6, 18, {0, 1}, {2}, "USB-C input Configuration is %d \n"},
    {QV_U8(GetDPEDIDConfiguration, SetDPEDIDConfiguration), 6, 20, {0, 1}, {2, 5}, "DP EDID Configuration is %d \n"},
    {QV_U8(GetUSBSleepFunctionality, SetUSBSleepFunctionality), 6, 21, {0, 1}, {2}, "USB port status in sleep is %d \n"},
    {QV_U8(GetLuminanceUniformityStatus, SetLuminanceUniformityStatus), 6, 22, {0, 1}, {2}, "Luminance uniformity status is %d \n"},
    // The lock code goes to the display unchecked.
    {nullptr, nullptr, "LockManagementMenu", LockManagementMenu, 6, 16, {0, 200, 255}, {}, nullptr},
};

TEST_F(Power, SettersSendTheirRangeAndRefuseTheRestOnType2) {
    connect_first();
    for (const auto& s : kPowerSettings) check_u8_setting(fw(), s);
}

TEST_F(Power, LockCodeTravelsAsALittleEndianWord) {
    connect_first();
    ASSERT_EQ(LockManagementMenu(200), RC_OK);
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes[7], 0xC8);
    EXPECT_EQ(fw().requests()[0].bytes[8], 0x00);
}

TEST_F(Power, ActionsSendExactly32BytesWithZeroValue) {
    connect_first();
    const struct {
        const char* name;
        int (*action)();
        int group, item;
    } actions[] = {{"FactoryReset", FactoryReset, 11, 0},
                   {"PowerOffManageInternalProcessor", PowerOffManageInternalProcessor, 6, 6}};
    for (const auto& a : actions) {
        SCOPED_TRACE(a.name);
        fw().clear_requests();
        int rc = -100;
        EXPECT_EQ(captured([&] { rc = a.action(); }), "");
        EXPECT_EQ(rc, RC_OK);
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_EQ(fw().requests()[0].bytes, set_packet(a.group, a.item, 0));

        fw().refuse(3, a.group, a.item, 1, 1);
        EXPECT_EQ(captured([&] { rc = a.action(); }), std::string("<ERROR> ") + a.name + ": RegUsbApi Failed.\n");
        EXPECT_EQ(rc, RC_DEVICE_STATUS);
    }
    EXPECT_TRUE(fw().state.power.processor_off);
    EXPECT_EQ(fw().state.power.factory_resets, 1);
}

TEST_F(Power, FactoryResetRestoresTheMenuDefaults) {
    connect_first();
    ASSERT_EQ(SetAutoSleepMode(0), RC_OK);
    ASSERT_EQ(SetOSDTimeout(60), RC_OK);
    ASSERT_EQ(SetBezelButtonBrightness(100), RC_OK);
    ASSERT_EQ(FactoryReset(), RC_OK);
    uint8_t sleep = 0, timeout = 0, brightness = 0;
    ASSERT_EQ(GetAutoSleepMode(&sleep), RC_OK);
    ASSERT_EQ(GetOSDTimeout(&timeout), RC_OK);
    ASSERT_EQ(GetBezelButtonBrightness(&brightness), RC_OK);
    EXPECT_EQ(sleep, 1);
    EXPECT_EQ(timeout, 30);
    EXPECT_EQ(brightness, 50);
}

// The EDID and USB-C input settings exist on monitor type 2 only.
struct GatedCall {
    const char* name;
    int (*call)();
};
const GatedCall kGated[] = {
    {"GetUSBCInputConfiguration", [] { uint8_t v = 0x5A; const int rc = GetUSBCInputConfiguration(&v); return v == 0x5A ? rc : 99; }},
    {"SetUSBCInputConfiguration", [] { return SetUSBCInputConfiguration(1); }},
    {"GetDPEDIDConfiguration", [] { uint8_t v = 0x5A; const int rc = GetDPEDIDConfiguration(&v); return v == 0x5A ? rc : 99; }},
    {"SetDPEDIDConfiguration", [] { return SetDPEDIDConfiguration(5); }},  // out of range too
};

TEST_F(Power, MonitorTypeGateRefusesSilentlyBeforeAnyCheck) {
    for (const uint8_t type : {uint8_t{1}, uint8_t{0xFF}}) {
        SCOPED_TRACE(static_cast<int>(type));
        make_bus(1, 1);
        connect_first();
        ASSERT_EQ(gu8MonitorType, 1);
        gu8MonitorType = type;
        for (const auto& g : kGated) {
            SCOPED_TRACE(g.name);
            int rc = -100;
            EXPECT_EQ(captured([&] { rc = g.call(); }), "");
            EXPECT_EQ(rc, RC_NOT_SUPPORTED);
        }
        EXPECT_TRUE(fw().requests().empty());
        Disconnect();
    }
}

TEST_F(Power, OnType2TheRangeCheckFollowsTheGate) {
    make_bus(1, 2);
    connect_first();
    EXPECT_EQ(SetDPEDIDConfiguration(5), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SetUSBCInputConfiguration(1), RC_OK);
}

TEST_F(Power, NotConnectedGatedFunctionsSayNotSupportedOthersExchangeFailed) {
    ASSERT_EQ(gu8MonitorType, 0xFF);
    for (const auto& g : kGated) EXPECT_EQ(g.call(), RC_NOT_SUPPORTED) << g.name;
    uint8_t v = 0x5A;
    std::string out = captured([&] { EXPECT_EQ(GetAutoSleepMode(&v), RC_EXCHANGE_FAILED); });
    EXPECT_EQ(out, "<ERROR> GetAutoSleepMode: RegUsbApi Failed.\n");
    EXPECT_EQ(v, 0x5A);
    EXPECT_EQ(SetFirmwareUpdateStatus(3), RC_EXCHANGE_FAILED);
    EXPECT_EQ(SetFirmwareUpdateStatus(4), RC_INVALID_ARGUMENT);
    EXPECT_EQ(LockManagementMenu(7), RC_EXCHANGE_FAILED);
    EXPECT_EQ(FactoryReset(), RC_EXCHANGE_FAILED);
    EXPECT_EQ(PowerOffManageInternalProcessor(), RC_EXCHANGE_FAILED);
}

TEST_F(Power, Type1DisplayRefusesType2SettingsSentAnyway) {
    make_bus(1, 1);
    connect_first();
    gu8MonitorType = 2;  // a host that overrides the type it read
    uint8_t v = 0x5A;
    std::string out = captured([&] { EXPECT_EQ(GetDPEDIDConfiguration(&v), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetDPEDIDConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(v, 0x5A);
    EXPECT_EQ(SetUSBCInputConfiguration(1), RC_DEVICE_STATUS);
    EXPECT_EQ(fw().requests().size(), 2u);
    EXPECT_EQ(SetAutoSleepMode(0), RC_OK);  // the rest of the page is there
}

}  // namespace
}  // namespace qvtest
