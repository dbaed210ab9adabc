// The simulated display's clock and on-screen menu. The date and time and the menu position
// are stored as the set request carried them (bytes 7 onwards) and returned the same way; the
// display refuses a date that does not exist and a menu position off the screen.
#include <cstddef>
#include <cstring>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr int kClockPage = 6;
constexpr int kDateTimeItem = 7;
constexpr int kOsdPage = 7;
constexpr int kOsdPositionItem = 0;

int days_in_month(int month, int year) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int16_t s16_at(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

}  // namespace

DateTimeRecord date_time(Firmware& fw) {
    DateTimeRecord r;
    std::memcpy(&r, fw.payload("date-time").data(), sizeof r);
    return r;
}

void set_date_time(Firmware& fw, const DateTimeRecord& record) {
    Payload& p = fw.payload("date-time");
    p.fill(0);
    std::memcpy(p.data(), &record, sizeof record);
}

void set_osd_position(Firmware& fw, int16_t x, int16_t y) {
    Payload& p = fw.payload("osd-position");
    p.fill(0);
    p[0] = static_cast<uint8_t>(static_cast<uint16_t>(x) & 0xFFu);
    p[1] = static_cast<uint8_t>(static_cast<uint16_t>(x) >> 8);
    p[2] = static_cast<uint8_t>(static_cast<uint16_t>(y) & 0xFFu);
    p[3] = static_cast<uint8_t>(static_cast<uint16_t>(y) >> 8);
}

bool date_time_acceptable(const DateTimeRecord& r) {
    int16_t year = 0;
    std::memcpy(&year, reinterpret_cast<const uint8_t*>(&r) + offsetof(DateTimeRecord, year), sizeof year);
    const bool hours24 = r.timeFormat != 0;
    if (r.month < 1 || r.month > 12) return false;
    if (r.day < 1 || r.day > days_in_month(r.month, year)) return false;
    if (r.timeFormat > 1) return false;
    if (hours24 ? r.hour > 23 : (r.hour < 1 || r.hour > 12)) return false;
    return r.minute <= 59 && r.timezone <= 45 && r.extraFlag <= 1;
}

// What this display accepts on the clock family's pages.
constexpr DisplaySetting kClockSettings[] = {
    byte("time-format", {6, 9}, {6, 9}).in(0, 1).starts(1),
    byte("auto-date-time", {6, 8}, {6, 8}).in(0, 1),
    byte("timezone", {6, 17}, {6, 17}).in(0, 45).starts(20),
    byte("auto-daylight-saving", {6, 10}, {6, 10}).in(0, 1).starts(1),
    record("date-time", {6, 7}, {6, 7}),
    record("osd-position", {7, 0}, {7, 0}),
    byte("osd-opacity", {7, 1}, {7, 1}).in(25, 100).starts(100),
    byte("osd-timeout", {7, 2}, {7, 2}).in(5, 60).step_of(5).starts(30),
    byte("menu-language", {7, 8}, {7, 8}).in(0, 9),
};

void init_clock(Firmware& fw) {
    DateTimeRecord now{};
    now.month = 6;
    now.day = 15;
    const int16_t year = 2024;
    std::memcpy(reinterpret_cast<uint8_t*>(&now) + offsetof(DateTimeRecord, year), &year, sizeof year);
    now.hour = 14;
    now.minute = 30;
    now.timezone = 20;
    now.timeFormat = 1;
    now.extraFlag = 0;
    set_date_time(fw, now);
    set_osd_position(fw, 50, 50);
}

bool handle_clock(Firmware& /*fw*/, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    bool refused = false;
    if (req.is_set(kClockPage, kDateTimeItem)) {
        DateTimeRecord r;
        std::memcpy(&r, req.bytes.data() + 7, sizeof r);
        refused = !date_time_acceptable(r);
    } else if (req.is_set(kOsdPage, kOsdPositionItem)) {
        const int16_t x = s16_at(req.bytes.data() + 7);
        const int16_t y = s16_at(req.bytes.data() + 9);
        refused = x < 0 || x > 100 || y < 0 || y > 100;
    }
    if (!refused) return false;  // the store takes it
    reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = 1;
    return true;
}

QV_FIRMWARE_FAMILY(clock, NoState, kClockSettings, init_clock, handle_clock);

}  // namespace qv::sim
