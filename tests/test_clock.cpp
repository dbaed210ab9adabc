// Clock and on-screen menu settings against the simulated display.
#include <cstring>

#include "sim/fw_clock.h"
#include "support/setting_cases.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Clock : public SimTest {};

#define QV_U8(G, S) #G, G, #S, S

const U8Setting kClockSettings[] = {
    {QV_U8(GetDeviceTimeFormat, SetDeviceTimeFormat), 6, 9, {0, 1}, {2}, "Time format is %d \n"},
    {QV_U8(GetAutoAdjustDateAndTimeStatus, SetAutoAdjustDateAndTimeStatus), 6, 8, {0, 1}, {2}, "Auto adjust date and time status is %d \n"},
    {QV_U8(GetTimezone, SetTimezone), 6, 17, {0, 45}, {46, 255}, "Time zone value is %d \n"},
    {QV_U8(GetAutoAdjustDayLightSavingStatus, SetAutoAdjustDayLightSavingStatus), 6, 10, {0, 1}, {2}, "Auto adjust daylight saving status is %d \n"},
    {QV_U8(GetOSDOpacity, SetOSDOpacity), 7, 1, {25, 100}, {0, 24, 101}, "Opacity Value is %d \n"},
    {QV_U8(GetOSDTimeout, SetOSDTimeout), 7, 2, {5, 35, 60}, {0, 4, 12, 59, 65}, "OSD Timeout is  %d \n"},
    {QV_U8(GetMenuLanguage, SetMenuLanguage), 7, 8, {0, 9}, {10}, "\n Menu Language %d \n"},
};

TEST_F(Clock, SettersSendTheirRangeAndRefuseTheRest) {
    connect_first();
    for (const auto& s : kClockSettings) check_u8_setting(fw(), s);
}

// month, day, year (LE), hour, minute, timezone, timeFormat, extraFlag.
DateTimeRecord record(uint8_t month, uint8_t day, int16_t year, uint8_t hour, uint8_t minute,
                      uint8_t zone, uint8_t format, uint8_t extra) {
    DateTimeRecord r;
    const uint16_t y = static_cast<uint16_t>(year);
    const uint8_t bytes[9] = {month, day, static_cast<uint8_t>(y & 0xFFu), static_cast<uint8_t>(y >> 8),
                              hour, minute, zone, format, extra};
    std::memcpy(&r, bytes, sizeof r);
    return r;
}

std::vector<uint8_t> payload_bytes(const qv::sim::Request& req, std::size_t from, std::size_t to) {
    return {req.bytes.begin() + static_cast<std::ptrdiff_t>(from), req.bytes.begin() + static_cast<std::ptrdiff_t>(to)};
}

TEST_F(Clock, DateAndTimeTravelsAsNineBytesAtByte7) {
    connect_first();
    const DateTimeRecord r = record(12, 31, 2024, 23, 59, 45, 1, 1);
    ASSERT_EQ(SetDateAndTime(&r), RC_OK);
    ASSERT_EQ(fw().requests().size(), 1u);
    std::vector<uint8_t> expected(32, 0);
    const uint8_t head[] = {3, 0, 0, 0, 6, 7, 0, 0x0C, 0x1F, 0xE8, 0x07, 0x17, 0x3B, 0x2D, 0x01, 0x01};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(fw().requests()[0].bytes, expected);

    // Any year goes out unchanged.
    const DateTimeRecord any_year = record(1, 1, -1, 1, 0, 0, 0, 0);
    ASSERT_EQ(SetDateAndTime(&any_year), RC_OK);
    EXPECT_EQ(payload_bytes(fw().requests()[1], 9, 11), (std::vector<uint8_t>{0xFF, 0xFF}));
}

TEST_F(Clock, DateAndTimeChecksStopAtTheFirstBadField) {
    connect_first();
    const struct {
        const char* what;
        DateTimeRecord r;
        int rc;
    } cases[] = {
        {"12-hour clock has no hour 0", record(5, 10, 2024, 0, 0, 0, 0, 0), RC_INVALID_ARGUMENT},
        {"24-hour clock has hour 0", record(5, 10, 2024, 0, 0, 0, 1, 0), RC_OK},
        {"12-hour clock has hour 12", record(5, 10, 2024, 12, 0, 0, 0, 0), RC_OK},
        {"24-hour clock has no hour 24", record(5, 10, 2024, 24, 0, 0, 1, 0), RC_INVALID_ARGUMENT},
        {"day 0 and month 13", record(13, 0, 2024, 1, 0, 0, 0, 0), RC_INVALID_ARGUMENT},
        {"every field bad", record(0, 32, 2024, 30, 60, 46, 2, 2), RC_INVALID_ARGUMENT},
        {"minute 60", record(5, 10, 2024, 1, 60, 0, 0, 0), RC_INVALID_ARGUMENT},
        {"timezone 46", record(5, 10, 2024, 1, 0, 46, 0, 0), RC_INVALID_ARGUMENT},
        {"time format 2", record(5, 10, 2024, 1, 0, 0, 2, 0), RC_INVALID_ARGUMENT},
        {"extra flag 2", record(5, 10, 2024, 1, 0, 0, 0, 2), RC_INVALID_ARGUMENT},
        {"largest of every field", record(12, 31, 2023, 23, 59, 45, 1, 1), RC_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fw().clear_requests();
        int rc = -100;
        const std::string out = captured([&] { rc = SetDateAndTime(&c.r); });
        EXPECT_EQ(rc, c.rc);
        if (c.rc == RC_OK) {
            EXPECT_EQ(out, "");
            EXPECT_EQ(fw().requests().size(), 1u);
        } else {
            EXPECT_EQ(out, "<ERROR> SetDateAndTime: Validation Failed.\n");
            EXPECT_TRUE(fw().requests().empty());
        }
    }
}

TEST_F(Clock, DisplayRefusesADateThatDoesNotExist) {
    connect_first();
    const DateTimeRecord feb31 = record(2, 31, 2023, 10, 0, 0, 1, 0);
    int rc = -100;
    EXPECT_EQ(captured([&] { rc = SetDateAndTime(&feb31); }), "<ERROR> SetDateAndTime: RegUsbApi Failed.\n");
    EXPECT_EQ(rc, RC_DEVICE_STATUS);
    const DateTimeRecord leap_day = record(2, 29, 2024, 10, 0, 0, 1, 0);
    EXPECT_EQ(SetDateAndTime(&leap_day), RC_OK);
    const DateTimeRecord stored = qv::sim::date_time(fw());
    EXPECT_EQ(std::memcmp(&stored, &leap_day, sizeof stored), 0);
}

TEST_F(Clock, GetDateAndTimeFillsNineBytesAndLogsDayMonthYear) {
    connect_first();
    const DateTimeRecord on_display = record(6, 15, -1, 9, 5, 3, 0, 1);
    qv::sim::set_date_time(fw(), on_display);
    uint8_t buffer[10];
    std::memset(buffer, 0xAB, sizeof buffer);
    auto* r = reinterpret_cast<DateTimeRecord*>(buffer);
    int rc = -100;
    EXPECT_EQ(captured([&] { rc = GetDateAndTime(r); }), "Date is 15 \nMonth is 6 \nYear is -1 \n");
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(std::memcmp(buffer, &on_display, 9), 0);
    EXPECT_EQ(buffer[9], 0xAB);  // no tenth byte
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes, get_packet(6, 7));

    SetLog(0);
    EXPECT_EQ(captured([&] { rc = GetDateAndTime(r); }), "");
    SetLog(1);

    std::memset(buffer, 0xAB, sizeof buffer);
    fw().refuse(8, 6, 7, 1, 1);
    EXPECT_EQ(captured([&] { rc = GetDateAndTime(r); }), "<ERROR> GetDateAndTime: RegUsbApi Failed.\n");
    EXPECT_EQ(rc, RC_DEVICE_STATUS);
    for (const uint8_t b : buffer) EXPECT_EQ(b, 0xAB);
}

TEST_F(Clock, OSDPositionIsTwoSignedWordsEachZeroToHundred) {
    connect_first();
    const struct {
        int16_t x, y;
        int rc;
    } cases[] = {{100, 100, RC_OK}, {0, 0, RC_OK}, {-1, 50, RC_INVALID_ARGUMENT},
                 {50, -1, RC_INVALID_ARGUMENT}, {101, 0, RC_INVALID_ARGUMENT}, {0, 101, RC_INVALID_ARGUMENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        fw().clear_requests();
        int rc = -100;
        const std::string out = captured([&] { rc = SetOSDPosition(c.x, c.y); });
        EXPECT_EQ(rc, c.rc);
        if (c.rc != RC_OK) {
            EXPECT_EQ(out, "<ERROR> SetOSDPosition: Validation Failed.\n");
            EXPECT_TRUE(fw().requests().empty());
        }
    }
    ASSERT_EQ(SetOSDPosition(100, 100), RC_OK);
    std::vector<uint8_t> expected(32, 0);
    const uint8_t head[] = {3, 0, 0, 0, 7, 0, 0, 0x64, 0x00, 0x64, 0x00};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(fw().requests().back().bytes, expected);

    qv::sim::set_osd_position(fw(), -3, 77);
    int16_t x = 0, y = 0;
    int rc = -100;
    EXPECT_EQ(captured([&] { rc = GetOSDPosition(&x, &y); }), "OSD Position X -3 \nOSD Position Y 77 \n");
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, 77);
    EXPECT_EQ(fw().requests().back().bytes, get_packet(7, 0));

    fw().refuse(8, 7, 0, 1, 1);
    x = y = 5;
    EXPECT_EQ(GetOSDPosition(&x, &y), RC_DEVICE_STATUS);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
}

}  // namespace
}  // namespace qvtest
