// Presets and calibration against the simulated display: the schedule and warm-up records, and
// the calibration runs with their long waits on the virtual clock.
#include <algorithm>
#include <cstring>

#include "support/setting_cases.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Presets : public SettingTest {
protected:
    void SetUp() override { SimTest::SetUp(); connect_first(); LogMessage = 0; }
    void set_switches(uint8_t calibration, uint8_t instrument) {
        fw().set_u8("calibration", calibration);
        fw().set_u8("external-instrument", instrument);
        fw().clear_requests();
        clock.clear_pauses();
    }
};

// The schedule and warm-up records: read from group 12, written to group 5, byte for byte.
struct Record {
    const char *setter, *cli;  // the getter's name starts "Get" where the setter's starts "Set"
    int (*get)(uint8_t*);
    int (*set)(const uint8_t*);
    uint8_t item;
    std::vector<uint8_t> good, off;                         // off: accepted, sent all zero
    const char* lines;                                      // the getter's lines for `good`
    std::vector<std::vector<std::pair<int, uint8_t>>> bad;  // each refused: {record byte, value}...
};

const Record kRecords[] = {
    {"SetCalibrationSchedule", "calibration-schedule",
     [](uint8_t* b) { return GetCalibrationSchedule(reinterpret_cast<CalibrationSchedule*>(b)); },
     [](const uint8_t* b) { return SetCalibrationSchedule(reinterpret_cast<const CalibrationSchedule*>(b)); },
     0, {1, 2, 4, 0, 6, 12, 59, 1}, {0, 0, 0, 0, 0, 1, 0, 0},
     "ScheduleStatus 1\nFrequencyType 2\nFrequencyCount 4\nDayofWeek 6\nTimeHH 12\nTimeMM 59\nTimeMeridian 1\n",
     // Switched off, the fields are still checked: an all-zero record fails on its hour.
     {{{0, 2}}, {{1, 3}}, {{2, 5}}, {{2, 0xFF}, {3, 0xFF}}, {{2, 0}, {3, 1}}, {{4, 7}}, {{5, 0}}, {{5, 13}},
      {{6, 60}}, {{7, 2}}, {{0, 0}, {1, 0}, {2, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}}},
    {"SetDisplayWarmupSettings", "warmup",
     [](uint8_t* b) { return GetDisplayWarmupSettings(reinterpret_cast<DisplayWarmupSettings*>(b)); },
     [](const uint8_t* b) { return SetDisplayWarmupSettings(reinterpret_cast<const DisplayWarmupSettings*>(b)); },
     1, {1, 1, 45, 1, 0, 1, 0, 0, 0, 1, 1}, {0, 0, 99, 9, 9, 9, 9, 9, 9, 9, 0xFF},  // off: nothing else checked
     "WarmupEnableStatus = 1\nWarmupTimeHour = 1\nWarmupTimeMinute = 45\nWarmuptimeMeridian = 1\n"
     "WarmupEnableSunday = 0\nWarmupEnableMonday = 1\nWarmupEnableTuesday = 0\nWarmupEnableWednesday = 0\n"
     "WarmupEnableThursday = 0\nWarmupEnableFriday = 1\nWarmupEnableSaturday = 1\n",
     {{{0, 2}}, {{1, 0}}, {{1, 13}}, {{2, 60}}, {{3, 2}}, {{4, 2}}, {{10, 0xFF}}, {{6, 2}, {8, 2}}, {{1, 0}, {5, 9}}}},
};

TEST_F(Presets, RecordsTravelByteForByteAndCheckEveryField) {
    for (const Record& r : kRecords) {
        SCOPED_TRACE(r.setter);
        fw().clear_requests();
        const std::size_t size = r.good.size();
        std::vector<uint8_t> want = packet_with({{0, 3}, {4, 5}, {5, r.item}}), got(size, 0xAA);
        std::copy(r.good.begin(), r.good.end(), want.begin() + 7);
        ASSERT_EQ(r.set(r.good.data()), RC_OK);
        EXPECT_EQ(says(RC_OK, [&] { return r.get(got.data()); }), r.lines);
        EXPECT_EQ(got, r.good);
        EXPECT_EQ(fw().requests()[0].bytes, want);
        EXPECT_EQ(fw().requests()[1].bytes, packet_with({{0, 8}, {4, 12}, {5, r.item}}));

        fw().clear_requests();
        for (const auto& spoils : r.bad) {
            std::vector<uint8_t> b = r.good;
            for (const auto& [at, v] : spoils) b[static_cast<std::size_t>(at)] = v;
            EXPECT_EQ(says(RC_INVALID_ARGUMENT, [&] { return r.set(b.data()); }),
                      std::string("<ERROR> ") + r.setter + ": Validation Failed.\n") << testing::PrintToString(b);
        }
        EXPECT_TRUE(fw().requests().empty());

        // Switched off: the payload goes out all zero, and the display's stale times read zero.
        ASSERT_EQ(r.set(r.off.data()), RC_OK);
        EXPECT_EQ(fw().requests()[0].bytes, packet_with({{0, 3}, {4, 5}, {5, r.item}}));
        std::copy(r.good.begin() + 1, r.good.end(), fw().payload(r.cli).begin() + 1);
        ASSERT_EQ(r.get(got.data()), RC_OK);
        EXPECT_EQ(got, std::vector<uint8_t>(size, 0));

        fw().refuse(8, 12, r.item, 1, 1);
        got.assign(size, 0xAA);
        EXPECT_EQ(says(RC_DEVICE_STATUS, [&] { return r.get(got.data()); }),
                  std::string("<ERROR> G") + (r.setter + 1) + ": RegUsbApi Failed.\n");
        EXPECT_EQ(got, std::vector<uint8_t>(size, 0xAA));
    }
    // The count reads back signed.
    fw().payload("calibration-schedule") = {1, 0, 0xFF, 0xFF, 0, 1, 0, 0};
    CalibrationSchedule got;
    EXPECT_NE(says(RC_OK, [&] { return GetCalibrationSchedule(&got); }).find("FrequencyCount -1\n"), std::string::npos);
    EXPECT_EQ(got.FrequencyCount, -1);
}

int recalibrate() { return RecalibrateActivePreset(); }
int configure() { return ConfigureAndCalibratePreset(8, 6, 4, 6, 250); }
int align() { return AlignInternalCalibrationDevice(); }

TEST_F(Presets, RunsNeedCalibrationEnabledBeforeAnythingElse) {
    const struct { const char* fn; int (*call)(); int rc; } runs[] = {
        {"RecalibrateActivePreset", recalibrate, RC_NOT_ALLOWED},
        {"ConfigureAndCalibratePreset", [] { return ConfigureAndCalibratePreset(9, 1, 1, 1, 100); }, RC_NOT_ALLOWED},
        {"AlignInternalCalibrationDevice", align, RC_INVALID_ARGUMENT}};
    for (const bool unreadable : {false, true}) {  // a failed status read counts as "off"
        set_switches(unreadable ? 1 : 0, 1);
        if (unreadable) fw().refuse(8, 6, 11, 1);
        for (const auto& run : runs) {
            fw().clear_requests();
            EXPECT_EQ(says(run.rc, run.call), std::string(unreadable ? "<ERROR> GetCalibrationStatus: RegUsbApi Failed.\n"
                                                                     : "Calibration Status is 0 \n") +
                                                  "<ERROR> " + run.fn + ": Calibration not enabled\n");
            EXPECT_EQ(sent(fw()), std::vector<std::string>{"get 6,11"}) << run.fn;
        }
    }
    EXPECT_TRUE(clock.pauses().empty());
}

// Each run is one exchange read once a second until the display answers: opcode 35 gives up
// after an hour, opcode 36 after twenty minutes.
TEST_F(Presets, RunsWaitOutTheirTimeoutsOnTheClock) {
    using Minutes = uint32_t qv::sim::PresetsState::*;  // how long the display takes
    const std::string on = "Calibration Status is 1 \n";
    const struct { const char* fn; int (*call)(); Minutes minutes; uint32_t limit; std::string before;
                   std::vector<uint8_t> packet; } runs[] = {
        {"RecalibrateActivePreset", recalibrate, &qv::sim::PresetsState::recalibrate_minutes, 60, on,
         packet_with({{0, 35}, {4, 5}, {5, 9}})},
        {"ConfigureAndCalibratePreset", configure, &qv::sim::PresetsState::configure_minutes, 60, on,
         packet_with({{0, 35}, {4, 6}, {5, 8}, {7, 8}, {23, 6}, {24, 4}, {25, 6}, {26, 250}})},
        {"AlignInternalCalibrationDevice", align, &qv::sim::PresetsState::align_minutes, 20,
         on + "Allow External Calibration Device Status is 1 \n", packet_with({{0, 36}, {4, 6}, {5, 13}, {7, 1}})},
    };
    fw().state.presets.align_reply_byte6 = 0x55;  // the alignment's status is in byte 1, not here
    for (const auto& run : runs) {
        for (const uint32_t minutes : {run.limit - 1, run.limit + 1}) {
            SCOPED_TRACE(testing::Message() << run.fn << " taking " << minutes << " minutes");
            set_switches(1, 1);
            bus->bridge(0).clear();  // no late answer of the run before
            fw().state.presets.*run.minutes = minutes;
            const bool late = minutes > run.limit;
            EXPECT_EQ(says(late ? RC_EXCHANGE_FAILED : RC_OK, run.call),
                      run.before + (late ? "<ERROR> RegUsbApi: Could not Read usb.\n<ERROR> " + std::string(run.fn) +
                                               ": RegUsbApi Failed.\n" : ""));
            EXPECT_EQ(fw().requests().back().bytes, run.packet);
            EXPECT_EQ(clock.pauses().size(), 60u * std::min(minutes, run.limit));
            EXPECT_EQ(clock.count_pauses(1000000), clock.pauses().size());  // all of one second
        }
    }
}

TEST_F(Presets, ConfigureAndCalibrateChecksItsTargets) {
    set_switches(1, 0);
    const uint8_t low[5] = {1, 1, 1, 1, 48}, high[5] = {8, 6, 4, 6, 250};
    auto configure_with = [](const uint8_t* t) { return [t] { return ConfigureAndCalibratePreset(t[0], t[1], t[2], t[3], t[4]); }; };
    for (int arg = 0; arg < 6; ++arg) {
        for (const int past : {-1, 1}) {
            uint8_t t[5] = {1, 2, 3, 4, 100};
            if (arg < 5) t[arg] = static_cast<uint8_t>((past < 0 ? low[arg] : high[arg]) + past);
            else std::fill(t, t + 5, past < 0 ? 0 : 255);  // every one out: still one line
            EXPECT_EQ(says(RC_INVALID_ARGUMENT, configure_with(t)),
                      "Calibration Status is 1 \n<ERROR> ConfigureAndCalibratePreset: Validation Failed.\n")
                << testing::PrintToString(std::vector<int>(t, t + 5));
        }
    }
    EXPECT_EQ(fw().count_requests(35), 0u);
    // The low ends go out (the high ones in the timeout test); the display's refusal is the frame's.
    fw().refuse(35, -1, -1, 3);
    EXPECT_EQ(says(RC_DEVICE_STATUS, configure_with(low)),
              "Calibration Status is 1 \n<ERROR> ConfigureAndCalibratePreset: RegUsbApi Failed.\n");
    EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 35}, {4, 6}, {5, 8}, {7, 1}, {23, 1}, {24, 1}, {25, 1}, {26, 48}}));
}

TEST_F(Presets, AlignmentNeedsTheInstrumentAndReadsItsStatusFromByteOne) {
    set_switches(1, 0);
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, align), "Calibration Status is 1 \nAllow External Calibration Device Status is 0 \n"
                                                "<ERROR> AlignInternalCalibrationDevice: Use of External device not enabled.\n");
    set_switches(1, 1);
    fw().refuse(8, 6, 12, 1, 1);
    EXPECT_EQ(align(), RC_INVALID_ARGUMENT);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 6,11", "get 6,12"}));
    fw().refuse(36, 6, 13, 2, 1);  // status in byte 1
    EXPECT_EQ(says(RC_DEVICE_STATUS, align), "Calibration Status is 1 \nAllow External Calibration Device Status is 1 \n"
                                             "<ERROR> AlignInternalCalibrationDevice: RegUsbApi Failed.\n");
}

TEST_F(Presets, CalibrationModeIsATwoByteQuery) {
    EXPECT_EQ(says(0, GetCalibrationMode), "received calibra mode 0 \n");
    EXPECT_EQ(fw().requests()[0].bytes, (std::vector<uint8_t>{12, 0}));
    fw().refuse(12, -1, -1, 0x80, 1);  // status in byte 1
    EXPECT_EQ(says(RC_DEVICE_STATUS, GetCalibrationMode), "<ERROR> GetCalibrationMode: RegUsbApi Failed.\n");
}

}  // namespace
}  // namespace qvtest
