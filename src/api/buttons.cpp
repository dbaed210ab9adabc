// The display's bezel buttons, function buttons and on-screen notices. Plain settings are rows
// of table/buttons.def (the build writes their functions out); the function-button
// assignments, addressed by button number, are written out here.
#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

constexpr int kFunctionButtonPage = 8;
constexpr int kNoButton = -1;

// Function buttons 1..4 are items 0..3 of their page. Any other number is refused with the
// button line; kNoButton then.
int function_button_item(const char* function, uint16_t button) {
    if (button < 1 || button > 4) {
        qv::log("<ERROR> %s: RegUsbApi Button value validation \n", function);
        return kNoButton;
    }
    return button - 1;
}

}  // namespace

extern "C" {

QV_API int GetFunctionButtonSettings(uint16_t button, int16_t* setting) noexcept {
    if (setting == nullptr) return RC_INVALID_ARGUMENT;
    const int item = function_button_item("GetFunctionButtonSettings", button);
    if (item == kNoButton) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetFunctionButtonSettings", packet, kFunctionButtonPage, item);
        rc != RC_OK)
        return rc;
    *setting = static_cast<int16_t>(qv::get_le16(packet + qv::kPayload));
    qv::log("Function Button Settings is %d \n", *setting);
    return RC_OK;
}

QV_API int SetFunctionButtonSettings(uint16_t button, int16_t setting) noexcept {
    const int item = function_button_item("SetFunctionButtonSettings", button);
    if (item == kNoButton) return RC_INVALID_ARGUMENT;
    if (const int rc = qv::validate("SetFunctionButtonSettings", setting, 0, 18); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, kFunctionButtonPage, item);
    qv::put_le16(packet + qv::kPayload, static_cast<uint16_t>(setting));
    return qv::exchange("SetFunctionButtonSettings", packet);
}

}  // extern "C"
