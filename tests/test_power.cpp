// Power, connectivity and maintenance settings against the simulated display.
#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Power : public SettingTest {};

TEST_F(Power, RowsSendTheirRangeAndRefuseTheRest) {
    check_rows({
        {QV_ROW(GetAutoSleepMode, SetAutoSleepMode), 6, 0, 0, 1, 0, "Autosleep mode is %d \n"},
        {QV_ROW(GetPowerOnRecallStatus, SetPowerOnRecallStatus), 6, 1, 0, 1, 0, "PowerOnRecall Status is %d \n"},
        {QV_ROW(GetDDCCICommnStatus, SetDDCCICommnStatus), 6, 2, 0, 1, 0, "DDCCI Communication status is %d \n"},
        {QV_ROW(GetAutoEDIDUpdateStatus, SetAutoEDIDUpdateStatus), 6, 3, 0, 1, 0, "Auto EDID Update Status is %d \n"},
        {QV_ROW(GetHotPlugInitiateStatus, SetHotPlugInitiateStatus), 6, 4, 0, 1, 0, "HotPlug Initiate status is %d \n"},
        {QV_ROW(GetDPHPDStatus, SetDPHPDStatus), 6, 5, 0, 1, 0, "DPHPD Status is %d \n"},
        {QV_ROW(GetFirmwareUpdateStatus, SetFirmwareUpdateStatus), 6, 14, 0, 3, 0, "Firware Update Status is %d \n"},
        {QV_ROW(GetUserPresetSupportStatus, SetUserPresetSupportStatus), 6, 15, 0, 1, 0, "User Preset Status is %d \n"},
        {QV_ROW(GetUSBCInputConfiguration, SetUSBCInputConfiguration), 6, 18, 0, 1, 0, "USB-C input Configuration is %d \n"},
        {QV_ROW(GetDPEDIDConfiguration, SetDPEDIDConfiguration), 6, 20, 0, 1, 0, "DP EDID Configuration is %d \n"},
        {QV_ROW(GetUSBSleepFunctionality, SetUSBSleepFunctionality), 6, 21, 0, 1, 0, "USB port status in sleep is %d \n"},
        {QV_ROW(GetLuminanceUniformityStatus, SetLuminanceUniformityStatus), 6, 22, 0, 1, 0, "Luminance uniformity status is %d \n"},
        // The lock code goes out unchecked; the actions send 0.
        {nullptr, "LockManagementMenu", LockManagementMenu, 6, 16, 0, 255, kNoCheck, nullptr},
        {nullptr, "PowerOffManageInternalProcessor", [](uint8_t) { return PowerOffManageInternalProcessor(); }, 6, 6, 0, 0, kNoCheck, nullptr},
        {nullptr, "FactoryReset", [](uint8_t) { return FactoryReset(); }, 11, 0, 0, 0, kNoCheck, nullptr},
    });
}

// The EDID and USB-C input settings exist on monitor type 2 only: any other type, and no
// display connected yet (0xFF), is refused first, silently, with nothing sent or written.
TEST_F(Power, MonitorTypeGateComesFirstAndIsSilent) {
    int (*const gated[])() = {
        [] { uint8_t v = 0x5A; const int rc = GetUSBCInputConfiguration(&v); return v == 0x5A ? rc : 99; },
        [] { uint8_t v = 0x5A; const int rc = GetDPEDIDConfiguration(&v); return v == 0x5A ? rc : 99; },
        [] { return SetUSBCInputConfiguration(1); },
        [] { return SetDPEDIDConfiguration(5); },  // out of range too
    };
    make_bus(1, 1);
    for (const bool connected : {false, true}) {
        if (connected) connect_first();
        EXPECT_EQ(gu8MonitorType, connected ? 1 : 0xFF);
        for (const auto call : gated) EXPECT_EQ(result_of(call), Outcome(RC_NOT_SUPPORTED, ""));
        EXPECT_TRUE(fw().requests().empty());
        uint8_t v = 0;  // the rest of the page goes to the exchange
        EXPECT_EQ(GetAutoSleepMode(&v), connected ? RC_OK : RC_EXCHANGE_FAILED);
    }
}

}  // namespace
}  // namespace qvtest
