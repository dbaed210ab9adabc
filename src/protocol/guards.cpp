// Display-mode queries, and the preconditions (guards) that read the display's current mode or
// state before a mode-dependent command. Nothing is cached; every guard reads the display afresh.
#include <cstdlib>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

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
    if (mode == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetDisplayMode", packet, 10, 1); rc != RC_OK) return rc;
    // Up to the first NUL, at most 25 bytes (the payload holds exactly 25), NUL-filled.
    std::strncpy(mode, reinterpret_cast<const char*>(packet + qv::kPayload), kModeText);
    mode[kModeText - 1] = '\0';
    qv::log("Display mode is %s \n", mode);
    return RC_OK;
}

QV_API int GetImageAdjustmentMode(int16_t* width, int16_t* height) noexcept {
    if (width == nullptr || height == nullptr) return RC_INVALID_ARGUMENT;
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
    if (width == nullptr || height == nullptr) return RC_INVALID_ARGUMENT;
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

namespace {

constexpr uint8_t kMainPicture = 3;  // GetDciMode's selectors
constexpr uint8_t kPipPicture = 4;

// The main picture must report a usable width and height; the mode read's own code is passed
// on unchanged, with no line of the caller's own.
int image_mode() {
    int16_t width = 0;
    int16_t height = 0;
    return GetImageAdjustmentMode(&width, &height);
}

// Overdrive is available only while picture-in-picture is not on; a failed status read counts
// as on.
int overdrive(const char* fn) {
    if (const int rc = image_mode(); rc != RC_OK) return rc;
    uint8_t pip = 0;
    if (GetPIPStatus(&pip) != RC_OK || pip == 1) {
        qv::log("<ERROR> %s: PIP is ON.\n", fn);
        return RC_NOT_ALLOWED;
    }
    return RC_OK;
}

// The DCI image region exists only while the main picture shows a DCI timing.
int dci_main(const char* fn) {
    const int rc = GetDciMode(kMainPicture);
    if (rc != RC_OK) qv::log("<ERROR> %s: Main not in DCI:  Failed.\n", fn);
    return rc;
}

// The cropped region exists only when a DCI image region other than 0 is selected (which in
// turn needs a DCI timing). Refused without a line of the caller's own.
int cropped_region() {
    uint8_t region = 0;
    if (GetDciImageRegion(&region) != RC_OK || region == 0) return RC_NOT_ALLOWED;
    return RC_OK;
}

// The PIP window is on (its source resolution can be read), then markers are allowed.
int marker_pip() {
    int16_t width = 0;
    int16_t height = 0;
    if (const int rc = GetPIPResolution(&width, &height); rc != RC_OK) return rc;
    return CheckMarkerSupport();
}

// The PIP and web-server guards read the display's answer into a local byte that starts at 0
// and look only at that byte, so a query that fails (after its own error line) counts as "PIP
// off", "not in mode 1" or "web server off". Refused with the guard's line otherwise.
enum class Wanted { one, non_zero };
int require(qv::GetU8 read, Wanted wanted, const char* line, const char* fn) {
    uint8_t value = 0;
    read(&value);
    if (wanted == Wanted::one ? value == 1 : value != 0) return RC_OK;
    qv::log(line, fn);
    return RC_NOT_ALLOWED;
}

// PIP status exactly 1 (the mode functions).
int pip_on_exact(const char* fn) {
    return require(GetPIPStatus, Wanted::one, "<ERROR> %s: PIP is OFF.\n", fn);
}

// PIP mode 1 (position and size); reading the mode runs the pip_on_exact guard first.
int pip_mode1(const char* fn) {
    return require(GetPIPMode, Wanted::one, "<ERROR> %s: Pip mode Failed.\n", fn);
}

// PIP status non-zero (inputs, swap, video legal, overscan).
int pip_on(const char* fn) {
    return require(GetPIPStatus, Wanted::non_zero, "<ERROR> %s: Pip mode Failed.\n", fn);
}

// The PIP source shows a DCI timing; the verdict's own code is passed on.
int pip_dci(const char* fn) {
    const int rc = GetDciMode(kPipPicture);
    if (rc != RC_OK) qv::log("<ERROR> %s: Pip not in DCI:  Failed.\n", fn);
    return rc;
}

// The DisplayPort EDID and USB-C input settings exist only on monitor type 2. Any other type,
// or no display connected yet (0xFF), is refused at once and silently: nothing is validated
// and nothing is sent.
int monitor_type_2() { return gu8MonitorType == 2 ? RC_OK : RC_NOT_SUPPORTED; }

// Web server on: the switch reads exactly 1.
int web_server(const char* fn) {
    return require(GetWebServerStatus, Wanted::one, "<ERROR> %s: Web Server status disabled.\n", fn);
}

// Web server on, then web management on (changing the identify support needs both). Reading
// the management switch reads the web server again first.
int web_server_management(const char* fn) {
    if (const int rc = web_server(fn); rc != RC_OK) return rc;
    return require(GetWSManagementStatus, Wanted::one, "<ERROR> %s: Web managment status disabled.\n", fn);
}

}  // namespace

namespace qv {

int check_guard(const Guard* guard, const char* fn) {
    if (guard == nullptr) return RC_OK;
    switch (guard->id) {
        case GuardId::IMAGE_MODE: return image_mode();
        case GuardId::OVERDRIVE: return overdrive(fn);
        case GuardId::DCI_MAIN: return dci_main(fn);
        case GuardId::CROPPED_REGION: return cropped_region();
        case GuardId::MARKER_MAIN: return CheckMarkerSupport();
        case GuardId::MARKER_PIP: return marker_pip();
        case GuardId::PIP_ON_EXACT: return pip_on_exact(fn);
        case GuardId::PIP_MODE1: return pip_mode1(fn);
        case GuardId::PIP_ON: return pip_on(fn);
        case GuardId::PIP_DCI: return pip_dci(fn);
        case GuardId::MONITOR_TYPE_2: return monitor_type_2();
        case GuardId::WEB_SERVER: return web_server(fn);
        case GuardId::WEB_SERVER_MANAGEMENT: return web_server_management(fn);
    }
    return RC_FAILED;
}

}  // namespace qv
