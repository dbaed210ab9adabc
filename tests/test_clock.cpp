// Clock and on-screen menu settings against the simulated display.
#include <cstring>

#include "sim/fw_clock.h"
#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Clock : public SettingTest {};

// The nine record bytes travel unchanged at bytes 7-15. However many fields are bad, one line;
// the hour range follows the time format; the date itself is the display's to refuse.
TEST_F(Clock, SetDateAndTime) {
    connect_first();
    constexpr int kBad = RC_INVALID_ARGUMENT;
    const struct {
        DateTimeRecord r;  // month, day, year, hour, minute, timezone, timeFormat, extraFlag
        int rc;
    } cases[] = {
        {{5, 10, 2024, 0, 0, 0, 0, 0}, kBad}, {{5, 10, 2024, 13, 0, 0, 0, 0}, kBad},  // 12-hour clock
        {{5, 10, 2024, 12, 0, 0, 0, 0}, RC_OK},
        {{1, 1, -1, 0, 0, 0, 1, 0}, RC_OK},  // a 24-hour clock has hour 0; any year
        {{5, 10, 2024, 24, 0, 0, 1, 0}, kBad},
        {{12, 31, 2023, 23, 59, 45, 1, 1}, RC_OK},
        {{0, 10, 2024, 1, 0, 0, 0, 0}, kBad}, {{13, 10, 2024, 1, 0, 0, 0, 0}, kBad},
        {{5, 0, 2024, 1, 0, 0, 0, 0}, kBad}, {{5, 32, 2024, 1, 0, 0, 0, 0}, kBad},
        {{5, 10, 2024, 1, 60, 0, 0, 0}, kBad}, {{5, 10, 2024, 1, 0, 46, 0, 0}, kBad},
        {{5, 10, 2024, 1, 0, 0, 2, 0}, kBad}, {{5, 10, 2024, 1, 0, 0, 0, 2}, kBad},
        {{0, 32, 2024, 30, 60, 46, 2, 2}, kBad},
        {{2, 31, 2023, 10, 0, 0, 1, 0}, RC_DEVICE_STATUS},  // not checked against the month
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        fw().clear_requests();
        EXPECT_EQ(result_of([&] { return SetDateAndTime(&c.r); }), outcome("SetDateAndTime", c.rc));
        std::vector<uint8_t> packet = setting_packet(3, 6, 7);
        std::memcpy(packet.data() + 7, &c.r, 9);
        EXPECT_EQ(packets(fw()), c.rc == RC_INVALID_ARGUMENT ? Packets{} : Packets{packet});
    }
}

TEST_F(Clock, SetOSDPositionChecksTwoSignedWords) {
    connect_first();
    const struct {
        int16_t x, y;
        int rc;
    } cases[] = {{100, 3, RC_OK}, {0, 100, RC_OK}, {-1, 50, RC_INVALID_ARGUMENT},
                 {50, -1, RC_INVALID_ARGUMENT}, {101, 0, RC_INVALID_ARGUMENT}, {0, 101, RC_INVALID_ARGUMENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        fw().clear_requests();
        EXPECT_EQ(result_of([&] { return SetOSDPosition(c.x, c.y); }), outcome("SetOSDPosition", c.rc));
        const auto sent = packet_with({{0, 3}, {4, 7}, {7, static_cast<uint8_t>(c.x)}, {9, static_cast<uint8_t>(c.y)}});
        EXPECT_EQ(packets(fw()), c.rc == RC_OK ? Packets{sent} : Packets{});
    }
}

// The date record is exactly nine bytes; the year and the menu position print signed; a
// refused get writes nothing.
TEST_F(Clock, GetDateAndTimeAndOSDPosition) {
    connect_first();
    const DateTimeRecord on_display = {6, 15, -1, 9, 5, 3, 0, 1};
    qv::sim::set_date_time(fw(), on_display);
    qv::sim::set_osd_position(fw(), -3, 77);
    uint8_t buffer[10];
    std::memset(buffer, 0xAB, sizeof buffer);
    auto* r = reinterpret_cast<DateTimeRecord*>(buffer);
    int16_t x = 0, y = 0;
    EXPECT_EQ(result_of([&] { return GetDateAndTime(r); }), Outcome(RC_OK, "Date is 15 \nMonth is 6 \nYear is -1 \n"));
    EXPECT_EQ(std::memcmp(buffer, &on_display, 9), 0);
    EXPECT_EQ(buffer[9], 0xAB) << "no tenth byte";
    EXPECT_EQ(result_of([&] { return GetOSDPosition(&x, &y); }), Outcome(RC_OK, "OSD Position X -3 \nOSD Position Y 77 \n"));
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(int16_t{-3}, int16_t{77}));
    EXPECT_EQ(packets(fw()), (Packets{setting_packet(8, 6, 7), setting_packet(8, 7, 0)}));
    EXPECT_EQ(output_of([&] { GetDateAndTime(r); GetOSDPosition(&x, &y); }), "") << "silent with logging off";

    std::memset(buffer, 0xAB, sizeof buffer);
    x = y = 5;
    fw().refuse(8, -1, -1, 1);
    EXPECT_EQ(result_of([&] { return GetDateAndTime(r); }), outcome("GetDateAndTime", RC_DEVICE_STATUS));
    EXPECT_EQ(result_of([&] { return GetOSDPosition(&x, &y); }), outcome("GetOSDPosition", RC_DEVICE_STATUS));
    for (const uint8_t b : buffer) EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(int16_t{5}, int16_t{5}));
}

}  // namespace
}  // namespace qvtest
