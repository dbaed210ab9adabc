// The display's clock and on-screen menu settings. Plain settings are rows of table/clock.def
// (the build writes their functions out); the date-and-time record and the two-value menu
// position depart from the frame and are written out here, each by name.
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

constexpr int kClockPage = 6;
constexpr int kDateTimeItem = 7;
constexpr int kOsdPage = 7;
constexpr int kOsdPositionItem = 0;
// The menu position: x and y, signed 16-bit little-endian, at these packet bytes.
constexpr std::size_t kOsdX = qv::kPayload;
constexpr std::size_t kOsdY = qv::kPayload + 2;

// Byte positions inside the 9-byte date-and-time record (and at packet byte 7 onwards).
enum DateTimeByte : std::size_t {
    kMonth = 0, kDay = 1, kYear = 2, kHour = 4, kMinute = 5, kTimezone = 6, kTimeFormat = 7,
    kExtraFlag = 8,
};
constexpr std::size_t kDateTimeSize = sizeof(DateTimeRecord);

// The record's fields in the order the display expects them checked; the first failure
// decides, and no field after it is looked at. The hour range follows the time format:
// 0..23 on a 24-hour clock (format non-zero), 1..12 on a 12-hour clock.
int validate_date_time(const char* function, const uint8_t* r) {
    const bool hours24 = r[kTimeFormat] != 0;
    const struct {
        std::size_t at;
        int low, high;
    } checks[] = {
        {kDay, 1, 31},       {kMonth, 1, 12},     {kTimeFormat, 0, 1},
        {kHour, hours24 ? 0 : 1, hours24 ? 23 : 12},
        {kMinute, 0, 59},    {kTimezone, 0, 45},  {kExtraFlag, 0, 1},
    };
    for (const auto& c : checks)
        if (const int rc = qv::validate(function, r[c.at], c.low, c.high); rc != RC_OK) return rc;
    return RC_OK;
}

}  // namespace

extern "C" {

QV_API int GetDateAndTime(DateTimeRecord* record) noexcept {
    if (record == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetDateAndTime", packet, kClockPage, kDateTimeItem); rc != RC_OK)
        return rc;
    const uint8_t* r = packet + qv::kPayload;
    std::memcpy(record, r, kDateTimeSize);
    qv::log("Date is %d \n", r[kDay]);
    qv::log("Month is %d \n", r[kMonth]);
    qv::log("Year is %d \n", static_cast<int16_t>(qv::get_le16(r + kYear)));
    return RC_OK;
}

QV_API int SetDateAndTime(const DateTimeRecord* record) noexcept {
    if (record == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t r[kDateTimeSize];
    std::memcpy(r, record, kDateTimeSize);
    if (const int rc = validate_date_time("SetDateAndTime", r); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, kClockPage, kDateTimeItem);
    std::memcpy(packet + qv::kPayload, r, kDateTimeSize);
    return qv::exchange("SetDateAndTime", packet);
}

QV_API int GetOSDPosition(int16_t* x, int16_t* y) noexcept {
    if (x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetOSDPosition", packet, kOsdPage, kOsdPositionItem); rc != RC_OK)
        return rc;
    *x = static_cast<int16_t>(qv::get_le16(packet + kOsdX));
    *y = static_cast<int16_t>(qv::get_le16(packet + kOsdY));
    qv::log("OSD Position X %d \n", *x);
    qv::log("OSD Position Y %d \n", *y);
    return RC_OK;
}

QV_API int SetOSDPosition(int16_t x, int16_t y) noexcept {
    if (const int rc = qv::validate("SetOSDPosition", x, 0, 100); rc != RC_OK) return rc;
    if (const int rc = qv::validate("SetOSDPosition", y, 0, 100); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, kOsdPage, kOsdPositionItem);
    qv::put_le16(packet + kOsdX, static_cast<uint16_t>(x));
    qv::put_le16(packet + kOsdY, static_cast<uint16_t>(y));
    return qv::exchange("SetOSDPosition", packet);
}

}  // extern "C"
