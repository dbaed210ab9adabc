// The display's presets and calibration. Plain settings are rows of table/presets.def (the build
// writes their functions out); the functions that depart from the frame follow, each by name: the schedule and warm-up records, the calibration runs (opcodes 35 and 36, which the
// exchange gives 60 and 20 minutes to answer) and the calibration-mode query (opcode 12).
#include <cstring>

#include "api/presets.h"
#include "protocol/frame.h"
#include "protocol/log.h"

namespace {

constexpr uint8_t kOpCalibrate = 35;      // recalibrate or configure-and-calibrate a preset
constexpr uint8_t kOpAlignDevice = 36;    // align the internal calibration device
constexpr uint8_t kOpCalibrationMode = 12;
constexpr uint16_t kActionPacketSize = 2;
constexpr std::size_t kActionStatusByte = 1;

bool external_instrument_allowed() {
    uint8_t allowed = 0;
    return GetAllowExternalInstrumentStatus(&allowed) == RC_OK && allowed != 0;
}

// One range check of a record field with the frame's validation line.
bool in_range(const char* fn, int value, int low, int high) {
    return qv::validate(fn, value, low, high) == RC_OK;
}

// The schedule and warm-up records (get group 12) start with their on/off switch: while it is
// off the display's other bytes mean nothing and the record reads all zero.
int get_switched_record(const char* fn, int item, void* record, std::size_t size) {
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, 12, item); rc != RC_OK) return rc;
    if (packet[qv::kPayload] != 0)
        std::memcpy(record, packet + qv::kPayload, size);
    else
        std::memset(record, 0, size);
    return RC_OK;
}

}  // namespace

bool qv::calibration_enabled() {
    uint8_t enabled = 0;
    return GetCalibrationStatus(&enabled) == RC_OK && enabled != 0;
}

extern "C" {

QV_API int GetCalibrationSchedule(CalibrationSchedule* schedule) noexcept {
    if (schedule == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetCalibrationSchedule";
    if (const int rc = get_switched_record(fn, 0, schedule, sizeof *schedule); rc != RC_OK) return rc;
    CalibrationSchedule s;
    std::memcpy(&s, schedule, sizeof s);
    qv::log("ScheduleStatus %d\n", s.ScheduleStatus);
    qv::log("FrequencyType %d\n", s.FrequencyType);
    qv::log("FrequencyCount %d\n", s.FrequencyCount);
    qv::log("DayofWeek %d\n", s.DayofWeek);
    qv::log("TimeHH %d\n", s.TimeHH);
    qv::log("TimeMM %d\n", s.TimeMM);
    qv::log("TimeMeridian %d\n", s.TimeMeridian);
    return RC_OK;
}

QV_API int SetCalibrationSchedule(const CalibrationSchedule* schedule) noexcept {
    if (schedule == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "SetCalibrationSchedule";
    CalibrationSchedule s;
    std::memcpy(&s, schedule, sizeof s);
    // Every field is checked, in this order, even when the schedule is being switched off.
    if (!in_range(fn, s.ScheduleStatus, 0, 1) || !in_range(fn, s.FrequencyType, 0, 2) ||
        !in_range(fn, s.FrequencyCount, 0, 4) || !in_range(fn, s.DayofWeek, 0, 6) ||
        !in_range(fn, s.TimeMeridian, 0, 1) || !in_range(fn, s.TimeHH, 1, 12) ||
        !in_range(fn, s.TimeMM, 0, 59))
        return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, 5, 0);
    if (s.ScheduleStatus != 0) std::memcpy(packet + qv::kPayload, &s, sizeof s);
    return qv::exchange(fn, packet);
}

QV_API int GetDisplayWarmupSettings(DisplayWarmupSettings* settings) noexcept {
    if (settings == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetDisplayWarmupSettings";
    if (const int rc = get_switched_record(fn, 1, settings, sizeof *settings); rc != RC_OK) return rc;
    DisplayWarmupSettings w;
    std::memcpy(&w, settings, sizeof w);
    qv::log("WarmupEnableStatus = %d\n", w.WarmupEnableStatus);
    qv::log("WarmupTimeHour = %d\n", w.WarmupTimeHour);
    qv::log("WarmupTimeMinute = %d\n", w.WarmupTimeMinute);
    qv::log("WarmuptimeMeridian = %d\n", w.WarmuptimeMeridian);
    qv::log("WarmupEnableSunday = %d\n", w.WarmupEnableSunday);
    qv::log("WarmupEnableMonday = %d\n", w.WarmupEnableMonday);
    qv::log("WarmupEnableTuesday = %d\n", w.WarmupEnableTuesday);
    qv::log("WarmupEnableWednesday = %d\n", w.WarmupEnableWednesday);
    qv::log("WarmupEnableThursday = %d\n", w.WarmupEnableThursday);
    qv::log("WarmupEnableFriday = %d\n", w.WarmupEnableFriday);
    qv::log("WarmupEnableSaturday = %d\n", w.WarmupEnableSaturday);
    return RC_OK;
}

QV_API int SetDisplayWarmupSettings(const DisplayWarmupSettings* settings) noexcept {
    if (settings == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "SetDisplayWarmupSettings";
    DisplayWarmupSettings w;
    std::memcpy(&w, settings, sizeof w);
    if (!in_range(fn, w.WarmupEnableStatus, 0, 1)) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, 5, 1);
    // With warm-up off nothing else is looked at and the payload stays zero.
    if (w.WarmupEnableStatus != 0) {
        if (!in_range(fn, w.WarmuptimeMeridian, 0, 1) || !in_range(fn, w.WarmupTimeHour, 1, 12) ||
            !in_range(fn, w.WarmupTimeMinute, 0, 59))
            return RC_INVALID_ARGUMENT;
        // The seven day flags, Sunday first, each byte read as signed.
        const uint8_t days[7] = {w.WarmupEnableSunday,   w.WarmupEnableMonday, w.WarmupEnableTuesday,
                                 w.WarmupEnableWednesday, w.WarmupEnableThursday,
                                 w.WarmupEnableFriday,   w.WarmupEnableSaturday};
        for (const uint8_t day : days)
            if (!in_range(fn, static_cast<int8_t>(day), 0, 1)) return RC_INVALID_ARGUMENT;
        std::memcpy(packet + qv::kPayload, &w, sizeof w);
    }
    return qv::exchange(fn, packet);
}

QV_API int RecalibrateActivePreset(void) noexcept {
    static constexpr const char* fn = "RecalibrateActivePreset";
    if (!qv::calibration_enabled()) {
        qv::log("<ERROR> %s: Calibration not enabled\n", fn);
        return RC_NOT_ALLOWED;
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, kOpCalibrate, 5, 9);
    return qv::exchange(fn, packet);
}

QV_API int ConfigureAndCalibratePreset(uint8_t colorSpaceIndex, uint8_t option2, uint8_t option3,
                                       uint8_t option4, uint8_t luminance) noexcept {
    static constexpr const char* fn = "ConfigureAndCalibratePreset";
    if (!qv::calibration_enabled()) {
        qv::log("<ERROR> %s: Calibration not enabled\n", fn);
        return RC_NOT_ALLOWED;
    }
    if (!in_range(fn, colorSpaceIndex, 1, 8) || !in_range(fn, option2, 1, 6) ||
        !in_range(fn, option3, 1, 4) || !in_range(fn, option4, 1, 6) ||
        !in_range(fn, luminance, 48, 250))
        return RC_INVALID_ARGUMENT;
    // The target colour space at byte 7, the three further targets and the luminance at 23-26.
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, kOpCalibrate, 6, 8);
    packet[7] = colorSpaceIndex;
    packet[23] = option2;
    packet[24] = option3;
    packet[25] = option4;
    packet[26] = luminance;
    return qv::exchange(fn, packet);
}

// Refuses with RC_INVALID_ARGUMENT where the preset runs refuse with RC_NOT_ALLOWED; the reply
// carries its status in byte 1.
QV_API int AlignInternalCalibrationDevice(void) noexcept {
    static constexpr const char* fn = "AlignInternalCalibrationDevice";
    if (!qv::calibration_enabled()) {
        qv::log("<ERROR> %s: Calibration not enabled\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    if (!external_instrument_allowed()) {
        qv::log("<ERROR> %s: Use of External device not enabled.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, kOpAlignDevice, 6, 13);
    packet[7] = 1;
    return qv::exchange(fn, packet, qv::kSettingPacketSize, kActionStatusByte);
}

// Returns 0 (the mode byte, which must be 0 for success) or a negative result code.
QV_API int GetCalibrationMode(void) noexcept {
    static constexpr const char* fn = "GetCalibrationMode";
    uint8_t packet[kActionPacketSize] = {kOpCalibrationMode, 0};
    if (const int rc = qv::exchange(fn, packet, kActionPacketSize, kActionStatusByte); rc != RC_OK)
        return rc;
    const auto mode = static_cast<int8_t>(packet[kActionStatusByte]);
    qv::log("received calibra mode %d \n", mode);
    return mode;
}

}  // extern "C"
