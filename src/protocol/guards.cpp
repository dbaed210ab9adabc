// Display-mode guards: read the display's current mode before a mode-dependent command.
// Nothing is cached; every guard reads the display afresh.
#include <cstdlib>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

#include "protocol/table_gen.h"
#include "protocol/table/guards.def"
#include "protocol/table_gen_end.h"

namespace {

constexpr std::size_t kModeText = 25;

const char* or_null(const char* s) { return s != nullptr ? s : "(null)"; }

// As atoi, keeping the low 16 bits; a missing token counts as 0.
int16_t token_value(const char* token) {
    if (token == nullptr) return 0;
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(std::atoi(token)) & 0xFFFFu));
}

}  // namespace

extern "C" {

QV_API int GetDisplayMode(char* mode) noexcept {
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetDisplayMode", packet, 10, 1); rc != RC_OK) return rc;
    // Up to the first NUL, at most 25 bytes (the payload holds exactly 25), NUL-filled.
    std::strncpy(mode, reinterpret_cast<const char*>(packet + qv::kPayload), kModeText);
    mode[kModeText - 1] = '\0';
    qv::log("Display mode is %s \n", mode);
    return RC_OK;
}

QV_API int GetImageAdjustmentMode(int16_t* width, int16_t* height) noexcept {
    char mode[kModeText];
    if (const int rc = GetDisplayMode(mode); rc != RC_OK) return rc;
    // "<width> x <height> ...": the first token is the width, the third the height.
    char* save = nullptr;
    const char* first = strtok_r(mode, " ", &save);
    const char* second = first != nullptr ? strtok_r(nullptr, " ", &save) : nullptr;
    const char* third = second != nullptr ? strtok_r(nullptr, " ", &save) : nullptr;
    qv::log_always("resolution_x = %s\n", or_null(first));
    qv::log_always("resolution_y = %s\n", or_null(third));
    *width = token_value(first);
    *height = token_value(third);
    if (*width == 0 || *height == 0) return RC_NOT_ALLOWED;
    return RC_OK;
}

QV_API int GetPIPResolution(int16_t* width, int16_t* height) noexcept {
    uint8_t status = 0;
    GetPIPStatus(&status);  // a failed read leaves the status 0: off
    if (status == 0) {
        qv::log("<ERROR> %s: Pip mode Failed.\n", "GetPIPResolution");
        return RC_NOT_ALLOWED;
    }
    uint8_t packet[qv::kSettingPacketSize];
    if (qv::exchange_get("GetPIPResolution", packet, 4, 27, qv::StatusLine::status) != RC_OK) return RC_FAILED;
    *height = static_cast<int16_t>(qv::get_le16(packet + 7));
    *width = static_cast<int16_t>(qv::get_le16(packet + 9));
    qv::log_always("pvActive =%d phActive =%d\n", *height, *width);
    return RC_OK;
}

QV_API int GetDciMode(uint8_t picture) noexcept {
    int result = RC_FAILED;
    int16_t width = 0;
    int16_t height = 0;
    if (picture == 4) {
        result = GetPIPResolution(&width, &height);
    } else if (picture == 3) {
        result = GetImageAdjustmentMode(&width, &height);
    }
    if (result != RC_OK) return result;
    qv::log("Vactive = %d , hActive = %d ", height, width);
    // The DCI timings: 2048 x 1080 and 4096 x 2160 (4095 accepted as well).
    if (height == 1080 && width == 2048) return RC_OK;
    if (height == 2160 && (width == 4095 || width == 4096)) return RC_OK;
    return RC_NOT_ALLOWED;
}

QV_API int CheckMarkerSupport(void) noexcept {
    int16_t width = 0;
    int16_t height = 0;
    if (const int rc = GetImageAdjustmentMode(&width, &height); rc != RC_OK) return rc;
    if (height == 720 || height == 1080) return RC_OK;
    if (gu8MonitorType == 2) {
        if (width >= 3840) return RC_OK;
    } else if (width == 2560) {
        return RC_OK;
    }
    return RC_NOT_ALLOWED;
}

}  // extern "C"
