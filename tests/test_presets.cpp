// Presets and calibration against the simulated display: user presets, the schedule and warm-up
// records, the calibration switches and the long calibration runs on the virtual clock.
#include <cstring>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

constexpr uint64_t kSecond = 1000000;

class Presets : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
        LogMessage = 0;
    }
    qv::sim::PresetsState& display() { return fw().state.presets; }
    void set_switches(uint8_t calibration, uint8_t instrument) {
        fw().set_u8("calibration", calibration);
        fw().set_u8("external-instrument", instrument);
        fw().clear_requests();
        clock.clear_pauses();
    }
    std::size_t one_second_pauses() const { return clock.count_pauses(kSecond); }
};

std::vector<uint8_t> bytes_of(const void* record, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(record);
    return {p, p + size};
}

// ---------------------------------------------------------------- plain rows

TEST_F(Presets, UserPresetsCheckTheirNumberAndRestoreSettings) {
    struct Action {
        int (*fn)(uint8_t);
        uint8_t item;
    };
    for (const auto& [fn, item] : {Action{LoadUserPreset, 8}, Action{SaveUserPreset, 9}}) {
        for (const uint8_t bad : std::initializer_list<uint8_t>{0, 5, 255}) {
            const std::string out = printed([&] { EXPECT_EQ(fn(bad), RC_INVALID_ARGUMENT); });
            EXPECT_NE(out.find("Validation Failed.\n"), std::string::npos);
        }
        EXPECT_TRUE(fw().requests().empty());
        ASSERT_EQ(fn(4), RC_OK);
        EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 3}, {4, 4}, {5, item}, {7, 4}}));
        fw().clear_requests();
    }
    ASSERT_EQ(SetDisplayLuminance(200), RC_OK);
    ASSERT_EQ(SaveUserPreset(2), RC_OK);
    ASSERT_EQ(SetDisplayLuminance(100), RC_OK);
    ASSERT_EQ(LoadUserPreset(2), RC_OK);
    int16_t luminance = 0;
    ASSERT_EQ(GetDisplayLuminance(&luminance), RC_OK);
    EXPECT_EQ(luminance, 200);
}

TEST_F(Presets, CalibrationSwitchesAreBinary) {
    struct Switch {
        int (*get)(uint8_t*);
        int (*set)(uint8_t);
        uint8_t item;
        const char* line;
    } switches[] = {
        {GetCalibrationStatus, SetCalibrationStatus, 11, "Calibration Status is %d \n"},
        {GetAllowExternalInstrumentStatus, SetAllowExternalInstrumentStatus, 12,
         "Allow External Calibration Device Status is %d \n"},
    };
    for (const Switch& s : switches) {
        fw().clear_requests();
        EXPECT_EQ(s.set(2), RC_INVALID_ARGUMENT);
        EXPECT_TRUE(fw().requests().empty());
        for (const uint8_t v : std::initializer_list<uint8_t>{1, 0}) {
            ASSERT_EQ(s.set(v), RC_OK);
            EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 3}, {4, 6}, {5, s.item}, {7, v}}));
            uint8_t got = 0xEE;
            const std::string out = printed([&] { ASSERT_EQ(s.get(&got), RC_OK); });
            EXPECT_EQ(got, v);
            char line[80];
            std::snprintf(line, sizeof line, s.line, v);
            EXPECT_EQ(out, line);
        }
    }
}

// ---------------------------------------------------------------- calibration schedule

CalibrationSchedule good_schedule() {
    CalibrationSchedule s{};
    s.ScheduleStatus = 1;
    s.FrequencyType = 2;
    s.FrequencyCount = 4;
    s.DayofWeek = 6;
    s.TimeHH = 12;
    s.TimeMM = 59;
    s.TimeMeridian = 1;
    return s;
}

TEST_F(Presets, ScheduleRecordTravelsByteForByte) {
    CalibrationSchedule s = good_schedule();
    s.FrequencyCount = 0x0003;
    ASSERT_EQ(SetCalibrationSchedule(&s), RC_OK);
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes,
              packet_with({{0, 3}, {4, 5}, {5, 0}, {7, 1}, {8, 2}, {9, 3}, {10, 0}, {11, 6}, {12, 12}, {13, 59}, {14, 1}}));

    CalibrationSchedule got;
    std::memset(&got, 0xAA, sizeof got);
    const std::string out = printed([&] { ASSERT_EQ(GetCalibrationSchedule(&got), RC_OK); });
    EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 8}, {4, 12}, {5, 0}}));
    EXPECT_EQ(bytes_of(&got, sizeof got), bytes_of(&s, sizeof s));
    EXPECT_EQ(out, "ScheduleStatus 1\nFrequencyType 2\nFrequencyCount 3\nDayofWeek 6\nTimeHH 12\nTimeMM 59\nTimeMeridian 1\n");
}

TEST_F(Presets, ScheduleReadsZeroWhenSwitchedOffAndCountIsSigned) {
    // The display keeps its last times behind an "off" first byte.
    const uint8_t stored[8] = {0, 2, 3, 0, 4, 5, 6, 1};
    std::memcpy(fw().payload("calibration-schedule").data(), stored, sizeof stored);
    CalibrationSchedule got;
    std::memset(&got, 0xAA, sizeof got);
    ASSERT_EQ(GetCalibrationSchedule(&got), RC_OK);
    EXPECT_EQ(bytes_of(&got, sizeof got), std::vector<uint8_t>(8, 0));

    const uint8_t on[8] = {1, 0, 0xFF, 0xFF, 0, 1, 0, 0};
    std::memcpy(fw().payload("calibration-schedule").data(), on, sizeof on);
    const std::string out = printed([&] { ASSERT_EQ(GetCalibrationSchedule(&got), RC_OK); });
    EXPECT_EQ(got.FrequencyCount, -1);
    EXPECT_NE(out.find("FrequencyCount -1\n"), std::string::npos);
}

TEST_F(Presets, ScheduleSwitchedOffSendsAZeroPayloadButIsStillChecked) {
    CalibrationSchedule s = good_schedule();
    s.ScheduleStatus = 0;
    ASSERT_EQ(SetCalibrationSchedule(&s), RC_OK);
    EXPECT_EQ(fw().requests()[0].bytes, packet_with({{0, 3}, {4, 5}, {5, 0}}));

    const CalibrationSchedule zero{};  // TimeHH 0 is out of range even for "off"
    const std::string out = printed([&] { EXPECT_EQ(SetCalibrationSchedule(&zero), RC_INVALID_ARGUMENT); });
    EXPECT_EQ(out, "<ERROR> SetCalibrationSchedule: Validation Failed.\n");
    EXPECT_EQ(fw().requests().size(), 1u);
}

TEST_F(Presets, ScheduleFieldsOutOfRange) {
    struct Case {
        const char* field;
        void (*spoil)(CalibrationSchedule&);
    } cases[] = {
        {"ScheduleStatus", [](CalibrationSchedule& s) { s.ScheduleStatus = 2; }},
        {"FrequencyType", [](CalibrationSchedule& s) { s.FrequencyType = 3; }},
        {"FrequencyCount high", [](CalibrationSchedule& s) { s.FrequencyCount = 5; }},
        {"FrequencyCount negative", [](CalibrationSchedule& s) { s.FrequencyCount = -1; }},
        {"DayofWeek", [](CalibrationSchedule& s) { s.DayofWeek = 7; }},
        {"TimeMeridian", [](CalibrationSchedule& s) { s.TimeMeridian = 2; }},
        {"TimeHH low", [](CalibrationSchedule& s) { s.TimeHH = 0; }},
        {"TimeHH high", [](CalibrationSchedule& s) { s.TimeHH = 13; }},
        {"TimeMM", [](CalibrationSchedule& s) { s.TimeMM = 60; }},
        {"every field", [](CalibrationSchedule& s) { std::memset(&s, 0xFF, sizeof s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        CalibrationSchedule s = good_schedule();
        c.spoil(s);
        const std::string out = printed([&] { EXPECT_EQ(SetCalibrationSchedule(&s), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, "<ERROR> SetCalibrationSchedule: Validation Failed.\n");
    }
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Presets, RefusedScheduleReadLeavesTheRecordAlone) {
    fw().refuse(8, 12, 0, 1, 1);
    CalibrationSchedule got;
    std::memset(&got, 0xAA, sizeof got);
    std::string out = printed([&] { EXPECT_EQ(GetCalibrationSchedule(&got), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetCalibrationSchedule: RegUsbApi Failed.\n");
    EXPECT_EQ(bytes_of(&got, sizeof got), std::vector<uint8_t>(8, 0xAA));
}

// ---------------------------------------------------------------- warm-up timer

DisplayWarmupSettings good_warmup() {
    DisplayWarmupSettings w{};
    w.WarmupEnableStatus = 1;
    w.WarmupTimeHour = 7;
    w.WarmupTimeMinute = 45;
    w.WarmuptimeMeridian = 0;
    w.WarmupEnableMonday = 1;
    w.WarmupEnableFriday = 1;
    w.WarmupEnableSaturday = 1;
    return w;
}

TEST_F(Presets, WarmupRecordTravelsByteForByte) {
    const DisplayWarmupSettings w = good_warmup();
    ASSERT_EQ(SetDisplayWarmupSettings(&w), RC_OK);
    EXPECT_EQ(fw().requests()[0].bytes,
              packet_with({{0, 3}, {4, 5}, {5, 1}, {7, 1}, {8, 7}, {9, 45}, {12, 1}, {16, 1}, {17, 1}}));
    DisplayWarmupSettings got;
    std::memset(&got, 0xAA, sizeof got);
    const std::string out = printed([&] { ASSERT_EQ(GetDisplayWarmupSettings(&got), RC_OK); });
    EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 8}, {4, 12}, {5, 1}}));
    EXPECT_EQ(bytes_of(&got, sizeof got), bytes_of(&w, sizeof w));
    EXPECT_EQ(out,
              "WarmupEnableStatus = 1\nWarmupTimeHour = 7\nWarmupTimeMinute = 45\nWarmuptimeMeridian = 0\n"
              "WarmupEnableSunday = 0\nWarmupEnableMonday = 1\nWarmupEnableTuesday = 0\n"
              "WarmupEnableWednesday = 0\nWarmupEnableThursday = 0\nWarmupEnableFriday = 1\n"
              "WarmupEnableSaturday = 1\n");
}

TEST_F(Presets, WarmupSwitchedOffIsNotCheckedAndReadsZero) {
    DisplayWarmupSettings off;
    std::memset(&off, 0x7F, sizeof off);  // every other field out of range
    off.WarmupEnableStatus = 0;
    ASSERT_EQ(SetDisplayWarmupSettings(&off), RC_OK);
    EXPECT_EQ(fw().requests()[0].bytes, packet_with({{0, 3}, {4, 5}, {5, 1}}));
    const DisplayWarmupSettings zero{};
    ASSERT_EQ(SetDisplayWarmupSettings(&zero), RC_OK);

    // The display still holds its initial times behind the "off" byte; the record reads zero.
    ASSERT_NE(fw().payload("warmup")[1], 0);
    DisplayWarmupSettings got;
    std::memset(&got, 0xAA, sizeof got);
    ASSERT_EQ(GetDisplayWarmupSettings(&got), RC_OK);
    EXPECT_EQ(bytes_of(&got, sizeof got), std::vector<uint8_t>(11, 0));
}

TEST_F(Presets, WarmupFieldsOutOfRange) {
    struct Case {
        const char* field;
        void (*spoil)(DisplayWarmupSettings&);
    } cases[] = {
        {"status", [](DisplayWarmupSettings& w) { w.WarmupEnableStatus = 2; }},
        {"meridian", [](DisplayWarmupSettings& w) { w.WarmuptimeMeridian = 2; }},
        {"hour 0", [](DisplayWarmupSettings& w) { w.WarmupTimeHour = 0; }},
        {"hour 13", [](DisplayWarmupSettings& w) { w.WarmupTimeHour = 13; }},
        {"minute", [](DisplayWarmupSettings& w) { w.WarmupTimeMinute = 60; }},
        {"sunday 2", [](DisplayWarmupSettings& w) { w.WarmupEnableSunday = 2; }},
        {"saturday 0xFF (signed -1)", [](DisplayWarmupSettings& w) { w.WarmupEnableSaturday = 0xFF; }},
        {"two days at once", [](DisplayWarmupSettings& w) { w.WarmupEnableTuesday = w.WarmupEnableThursday = 2; }},
        {"hour and days", [](DisplayWarmupSettings& w) { w.WarmupTimeHour = 0; w.WarmupEnableMonday = 9; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        DisplayWarmupSettings w = good_warmup();
        c.spoil(w);
        const std::string out = printed([&] { EXPECT_EQ(SetDisplayWarmupSettings(&w), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, "<ERROR> SetDisplayWarmupSettings: Validation Failed.\n");
    }
    EXPECT_TRUE(fw().requests().empty());
}

// ---------------------------------------------------------------- calibration precondition

TEST_F(Presets, RunsNeedCalibrationEnabled) {
    set_switches(0, 1);
    struct Case {
        const char* fn;
        int (*call)();
        int rc;
    } cases[] = {
        {"RecalibrateActivePreset", [] { return RecalibrateActivePreset(); }, RC_NOT_ALLOWED},
        {"ConfigureAndCalibratePreset", [] { return ConfigureAndCalibratePreset(1, 1, 1, 1, 100); }, RC_NOT_ALLOWED},
        // The precondition comes before the arguments.
        {"ConfigureAndCalibratePreset", [] { return ConfigureAndCalibratePreset(9, 1, 1, 1, 100); }, RC_NOT_ALLOWED},
        {"AlignInternalCalibrationDevice", [] { return AlignInternalCalibrationDevice(); }, RC_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fn);
        fw().clear_requests();
        const std::string out = printed([&] { EXPECT_EQ(c.call(), c.rc); });
        EXPECT_EQ(out, std::string("Calibration Status is 0 \n<ERROR> ") + c.fn + ": Calibration not enabled\n");
        ASSERT_EQ(fw().requests().size(), 1u);  // the status query only
        EXPECT_TRUE(fw().requests()[0].is_get(6, 11));
    }
    EXPECT_EQ(one_second_pauses(), 0u);
}

TEST_F(Presets, UnreadableCalibrationStatusCountsAsDisabled) {
    set_switches(1, 1);
    fw().refuse(8, 6, 11, 1);
    std::string out = printed([&] { EXPECT_EQ(RecalibrateActivePreset(), RC_NOT_ALLOWED); });
    EXPECT_EQ(out, "<ERROR> GetCalibrationStatus: RegUsbApi Failed.\n"
                   "<ERROR> RecalibrateActivePreset: Calibration not enabled\n");
    out = printed([&] { EXPECT_EQ(AlignInternalCalibrationDevice(), RC_INVALID_ARGUMENT); });
    EXPECT_EQ(out, "<ERROR> GetCalibrationStatus: RegUsbApi Failed.\n"
                   "<ERROR> AlignInternalCalibrationDevice: Calibration not enabled\n");
    EXPECT_EQ(fw().count_requests(35) + fw().count_requests(36), 0u);
}

// ---------------------------------------------------------------- calibration runs on the clock

TEST_F(Presets, RecalibrationWaitsOutItsSimulatedMinutes) {
    set_switches(1, 0);
    const std::string out = printed([&] { EXPECT_EQ(RecalibrateActivePreset(), RC_OK); });
    EXPECT_EQ(out, "Calibration Status is 1 \n");
    ASSERT_EQ(fw().requests().size(), 2u);
    EXPECT_EQ(fw().requests()[1].bytes, packet_with({{0, 35}, {4, 5}, {5, 9}}));
    EXPECT_EQ(display().recalibrations, 1);
    EXPECT_EQ(one_second_pauses(), 12u * 60);  // 12 simulated minutes, one read a second
}

TEST_F(Presets, RunTimeoutsOfOpcodes35And36) {
    set_switches(1, 1);
    // A run the display finishes just within the hour succeeds; one that takes longer fails.
    display().recalibrate_minutes = 59;
    EXPECT_EQ(RecalibrateActivePreset(), RC_OK);
    EXPECT_EQ(one_second_pauses(), 59u * 60);

    clock.clear_pauses();
    display().recalibrate_minutes = 61;
    std::string out = printed([&] { EXPECT_EQ(RecalibrateActivePreset(), RC_EXCHANGE_FAILED); });
    EXPECT_EQ(one_second_pauses(), 3600u);
    EXPECT_EQ(out, "Calibration Status is 1 \n<ERROR> RegUsbApi: Could not Read usb.\n"
                   "<ERROR> RecalibrateActivePreset: RegUsbApi Failed.\n");
    bus->bridge(0).clear();  // the late answer is of no further interest

    // A display that never answers: an hour of attempts for opcode 35, twenty minutes for 36.
    display().runs_answer = false;
    struct Case {
        const char* fn;
        int (*call)();
        std::size_t attempts;
    } cases[] = {
        {"RecalibrateActivePreset", [] { return RecalibrateActivePreset(); }, 3600},
        {"ConfigureAndCalibratePreset", [] { return ConfigureAndCalibratePreset(2, 1, 1, 1, 120); }, 3600},
        {"AlignInternalCalibrationDevice", [] { return AlignInternalCalibrationDevice(); }, 1200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fn);
        clock.clear_pauses();
        out = printed([&] { EXPECT_EQ(c.call(), RC_EXCHANGE_FAILED); });
        EXPECT_EQ(one_second_pauses(), c.attempts);
        EXPECT_EQ(clock.pauses().size(), c.attempts);
        EXPECT_NE(out.find(std::string("<ERROR> ") + c.fn + ": RegUsbApi Failed.\n"), std::string::npos);
    }
}

TEST_F(Presets, ConfigureAndCalibrateSendsItsTargets) {
    set_switches(1, 0);
    ASSERT_EQ(ConfigureAndCalibratePreset(1, 6, 4, 6, 250), RC_OK);
    ASSERT_EQ(fw().requests().size(), 2u);
    EXPECT_EQ(fw().requests()[1].bytes,
              packet_with({{0, 35}, {4, 6}, {5, 8}, {7, 1}, {23, 6}, {24, 4}, {25, 6}, {26, 250}}));
    EXPECT_EQ(one_second_pauses(), 25u * 60);
    // The calibrated preset is now the active one.
    uint8_t space = 0;
    int16_t luminance = 0;
    ASSERT_EQ(GetActiveColorSpace(&space), RC_OK);
    ASSERT_EQ(GetDisplayLuminance(&luminance), RC_OK);
    EXPECT_EQ(space, 1);
    EXPECT_EQ(luminance, 250);
}

TEST_F(Presets, ConfigureAndCalibrateChecksTargetsInOrder) {
    set_switches(1, 0);
    struct Case {
        uint8_t cs, o2, o3, o4, lum;
    } cases[] = {
        {0, 1, 1, 1, 100}, {9, 1, 1, 1, 100}, {1, 0, 1, 1, 100}, {1, 7, 1, 1, 100},
        {1, 1, 0, 1, 100}, {1, 1, 5, 1, 100}, {1, 1, 1, 0, 100}, {1, 1, 1, 7, 100},
        {1, 1, 1, 1, 47},  {1, 1, 1, 1, 251}, {9, 9, 9, 9, 9},
    };
    for (const Case& c : cases) {
        const std::string out = printed([&] {
            EXPECT_EQ(ConfigureAndCalibratePreset(c.cs, c.o2, c.o3, c.o4, c.lum), RC_INVALID_ARGUMENT);
        });
        EXPECT_EQ(out, "Calibration Status is 1 \n<ERROR> ConfigureAndCalibratePreset: Validation Failed.\n");
    }
    EXPECT_EQ(fw().count_requests(35), 0u);
    EXPECT_EQ(fw().requests().size(), std::size(cases));
}

TEST_F(Presets, RunRefusedByTheDisplay) {
    set_switches(1, 1);
    fw().refuse(35, 5, 9, 3, 1);
    std::string out = printed([&] { EXPECT_EQ(RecalibrateActivePreset(), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "Calibration Status is 1 \n<ERROR> RecalibrateActivePreset: RegUsbApi Failed.\n");
    fw().refuse(35, 6, 8, 3, 1);
    EXPECT_EQ(ConfigureAndCalibratePreset(1, 1, 1, 1, 48), RC_DEVICE_STATUS);
}

// ---------------------------------------------------------------- internal device alignment

TEST_F(Presets, AlignmentNeedsTheExternalInstrument) {
    set_switches(1, 0);
    const std::string out = printed([&] { EXPECT_EQ(AlignInternalCalibrationDevice(), RC_INVALID_ARGUMENT); });
    EXPECT_EQ(out, "Calibration Status is 1 \nAllow External Calibration Device Status is 0 \n"
                   "<ERROR> AlignInternalCalibrationDevice: Use of External device not enabled.\n");
    ASSERT_EQ(fw().requests().size(), 2u);
    EXPECT_TRUE(fw().requests()[1].is_get(6, 12));

    fw().clear_requests();
    fw().set_u8("external-instrument", 1);
    fw().refuse(8, 6, 12, 1, 1);
    EXPECT_EQ(AlignInternalCalibrationDevice(), RC_INVALID_ARGUMENT);
    EXPECT_EQ(fw().count_requests(36), 0u);
}

TEST_F(Presets, AlignmentReadsItsStatusFromByteOne) {
    set_switches(1, 1);
    display().align_reply_byte6 = 0x55;  // not the status of this reply
    ASSERT_EQ(AlignInternalCalibrationDevice(), RC_OK);
    ASSERT_EQ(fw().requests().size(), 3u);
    EXPECT_EQ(fw().requests()[2].bytes, packet_with({{0, 36}, {4, 6}, {5, 13}, {7, 1}}));
    EXPECT_EQ(one_second_pauses(), 8u * 60);
    EXPECT_EQ(display().alignments, 1);

    fw().refuse(36, 6, 13, 2, 1);  // status in byte 1
    const std::string out = printed([&] { EXPECT_EQ(AlignInternalCalibrationDevice(), RC_DEVICE_STATUS); });
    EXPECT_NE(out.find("<ERROR> AlignInternalCalibrationDevice: RegUsbApi Failed.\n"), std::string::npos);
}

// ---------------------------------------------------------------- calibration mode

TEST_F(Presets, CalibrationModeIsATwoByteQuery) {
    std::string out = printed([&] { EXPECT_EQ(GetCalibrationMode(), 0); });
    EXPECT_EQ(out, "received calibra mode 0 \n");
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes, (std::vector<uint8_t>{12, 0}));

    fw().refuse(12, -1, -1, 0x80, 1);
    out = printed([&] { EXPECT_EQ(GetCalibrationMode(), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetCalibrationMode: RegUsbApi Failed.\n");

    bus->bridge(0).faults.no_reply = true;
    clock.clear_pauses();
    out = printed([&] { EXPECT_EQ(GetCalibrationMode(), RC_EXCHANGE_FAILED); });
    EXPECT_EQ(out, "<ERROR> RegUsbApi: Could not Read usb.\n<ERROR> GetCalibrationMode: RegUsbApi Failed.\n");
    EXPECT_EQ(one_second_pauses(), 10u);
}

}  // namespace
}  // namespace qvtest
