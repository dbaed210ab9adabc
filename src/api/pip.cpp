// The display's picture-in-picture (PIP) settings. Plain settings are rows of table/pip.def (the
// build writes their functions out); the functions that depart from the frame (the position and
// size records) follow, each by name.
//
// Every PIP function first asks the display whether the window is in a state where the setting
// exists (the PIP guards of guards.cpp); a query that fails counts as "PIP off" or "not in
// mode 1".
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

extern "C" {
// Custom window limits per monitor type (row = type - 1), in pixels of the 4096 x 2160 frame:
// X minimum, largest X at the smallest size (4096 - 204 - 568), Y minimum, largest Y at the
// smallest size (2160 - 108 - 300), smallest height, largest height. A host may change them.
QV_API int64_t sPipLimits[2][6] = {
    {204, 3324, 108, 1752, 300, 1080},
    {204, 3324, 108, 1752, 300, 1080},
};
}

namespace {

// Where the records live, taken from the table rows.
const qv::SettingRow& kSizeRow = *qv::find_row("pip-size");
const qv::SettingRow& kPositionRow = *qv::find_row("pip-position");

constexpr int kFrameWidth = 4096;
constexpr int kFrameHeight = 2160;
constexpr uint8_t kCustomSize = 3;
constexpr uint8_t kCustomPosition = 4;
enum LimitEntry { X_MIN = 0, Y_MIN = 2, HEIGHT_MIN = 4, HEIGHT_MAX = 5 };

int16_t low16(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu)); }

// The limits row of the connected monitor type, or -1 when the table has none for it.
int limits_row() { return gu8MonitorType == 1 || gu8MonitorType == 2 ? gu8MonitorType - 1 : -1; }

// Only the low 16 bits of an entry count, read as signed.
int limit(int row, LimitEntry entry) { return low16(sPipLimits[row][entry]); }

// GetPIPPosition and GetPIPSize: a selector byte and two int16 values at bytes 7, 8-9, 10-11.
int read_window_record(const char* fn, const qv::SettingRow& row, uint8_t* selector, int16_t* first,
                       int16_t* second, const char* selector_line, const char* first_line,
                       const char* second_line) {
    if (const int rc = qv::check_guard(&qv::guard::pip_mode1, fn); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, row.get_key.group, row.get_key.item); rc != RC_OK) return rc;
    *selector = packet[7];
    *first = static_cast<int16_t>(qv::get_le16(packet + 8));
    *second = static_cast<int16_t>(qv::get_le16(packet + 10));
    qv::log(selector_line, *selector);
    qv::log(first_line, *first);
    qv::log(second_line, *second);
    return RC_OK;
}

int send_window_record(const char* fn, const qv::SettingRow& row, uint8_t selector, int16_t first,
                       int16_t second) {
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, row.set_key.group, row.set_key.item);
    packet[7] = selector;
    qv::put_le16(packet + 8, static_cast<uint16_t>(first));
    qv::put_le16(packet + 10, static_cast<uint16_t>(second));
    return qv::exchange(fn, packet);
}

}  // namespace

extern "C" {

QV_API int GetPIPPosition(uint8_t* positionSelector, int16_t* x, int16_t* y) noexcept {
    if (positionSelector == nullptr || x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    return read_window_record("GetPIPPosition", kPositionRow, positionSelector, x, y,
                              "PIP Position Status is %d \n", "PIP X = %d \n", "PIP Y = %d \n");
}

QV_API int GetPIPSize(uint8_t* sizeSelector, int16_t* width, int16_t* height) noexcept {
    if (sizeSelector == nullptr || width == nullptr || height == nullptr) return RC_INVALID_ARGUMENT;
    return read_window_record("GetPIPSize", kSizeRow, sizeSelector, width, height,
                              "PIP Size Status is %d \n", "PIP Width = %d \n", "PIP Height = %d \n");
}

// A custom position must keep the current window inside the frame's margins, so the largest X
// and Y follow from the window's size as the display reports it.
QV_API int SetPIPPosition(uint8_t positionSelector, int16_t x, int16_t y) noexcept {
    constexpr const char* fn = "SetPIPPosition";
    uint8_t size_selector = 0;
    int16_t width = 0;
    int16_t height = 0;
    if (const int rc = GetPIPSize(&size_selector, &width, &height); rc != RC_OK) return rc;
    if (const int rc = qv::validate(fn, positionSelector, 0, kCustomPosition); rc != RC_OK) return rc;
    if (positionSelector == kCustomPosition) {
        const int row = limits_row();
        if (row < 0) return RC_NOT_SUPPORTED;
        const int x_min = limit(row, X_MIN);
        const int y_min = limit(row, Y_MIN);
        const int16_t x_max = low16(kFrameWidth - x_min - width);
        const int16_t y_max = low16(kFrameHeight - y_min - height);
        if (s16ValidateSWord16Var(x, x_min, x_max) != 0) {
            qv::log("<ERROR> %s:XValue Validation Failed.\n", fn);
            return RC_INVALID_ARGUMENT;
        }
        if (s16ValidateSWord16Var(y, y_min, y_max) != 0) {
            qv::log("<ERROR> %s:YValue Validation Failed.\n", fn);
            return RC_INVALID_ARGUMENT;
        }
    }
    return send_window_record(fn, kPositionRow, positionSelector, x, y);
}

// A custom size is given by its height; the width follows at the frame's 4096:2160 aspect.
// The preset sizes carry no width (0) and their height unchecked.
QV_API int SetPIPSize(uint8_t sizeSelector, int16_t height) noexcept {
    constexpr const char* fn = "SetPIPSize";
    if (const int rc = qv::check_guard(&qv::guard::pip_mode1, fn); rc != RC_OK) return rc;
    if (const int rc = qv::validate(fn, sizeSelector, 0, kCustomSize); rc != RC_OK) return rc;
    int16_t width = 0;
    if (sizeSelector == kCustomSize) {
        const int row = limits_row();
        if (row < 0) return RC_NOT_SUPPORTED;
        if (const int rc = qv::validate(fn, height, limit(row, HEIGHT_MIN), limit(row, HEIGHT_MAX)); rc != RC_OK)
            return rc;
        width = low16(height * kFrameWidth / kFrameHeight);
    }
    return send_window_record(fn, kSizeRow, sizeSelector, width, height);
}

}  // extern "C"
