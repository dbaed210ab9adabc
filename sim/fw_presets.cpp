// The simulated display's presets and calibration.
//
// A user preset holds the colour space and the luminance; the display refuses to load or save
// one while user-preset support is off. Calibration runs take simulated minutes: the reply is
// ready only after the run's time has passed on the clock, so the library's one-second read
// attempts count them off; a recalibration or a configured calibration sets the calibration
// hour counter back to 0. The display
// refuses a run while calibration is switched off, and the alignment of its internal device also
// while the external instrument is not allowed. The schedule and warm-up records are stored as
// they arrive; switching either off keeps the last times, which the display still reports behind
// its "off" byte.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr uint8_t kOpCalibrate = 35;
constexpr uint8_t kOpAlignDevice = 36;
constexpr uint8_t kOpCalibrationMode = 12;
constexpr uint64_t kMinuteUs = 60ull * 1000 * 1000;

bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

Reply with_status(const Request& req, std::size_t at, uint8_t status) {
    Reply r = echo(req.bytes.data(), req.bytes.size());
    r.bytes[at] = status;
    return r;
}

Reply user_preset(Firmware& fw, const Request& req, bool save) {
    const uint8_t n = req.bytes[7];
    if (!in(n, 1, 4) || fw.u8("user-preset-support") == 0) return with_status(req, 6, 1);
    UserPreset& p = fw.state.presets.user[n - 1u];
    if (save) {
        p = {true, fw.u8("color-space"), fw.s16("luminance")};
    } else {
        if (!p.saved) return with_status(req, 6, 1);
        fw.set_u8("color-space", p.color_space);
        fw.set_s16("luminance", p.luminance);
    }
    return with_status(req, 6, 0);
}

// Records arrive at bytes 7 onwards. With the first byte 0 only that byte is taken.
Reply store_record(Firmware& fw, const Request& req, const char* cli, std::size_t length, bool valid) {
    if (!valid) return with_status(req, 6, 1);
    Payload& stored = fw.payload(cli);
    if (req.bytes[7] == 0)
        stored[0] = 0;
    else
        std::copy_n(req.bytes.begin() + 7, length, stored.begin());
    return with_status(req, 6, 0);
}

bool schedule_valid(const std::vector<uint8_t>& b) {
    if (b[7] == 0) return true;
    const auto count = static_cast<int16_t>(b[9] | (b[10] << 8));
    return in(b[7], 0, 1) && in(b[8], 0, 2) && in(count, 0, 4) && in(b[11], 0, 6) &&
           in(b[12], 1, 12) && in(b[13], 0, 59) && in(b[14], 0, 1);
}

bool warmup_valid(const std::vector<uint8_t>& b) {
    if (b[7] == 0) return true;
    if (!in(b[7], 0, 1) || !in(b[8], 1, 12) || !in(b[9], 0, 59) || !in(b[10], 0, 1)) return false;
    return std::all_of(b.begin() + 11, b.begin() + 18, [](uint8_t d) { return d <= 1; });
}

Reply calibrate(Firmware& fw, const Request& req) {
    PresetsState& s = fw.state.presets;
    if (fw.u8("calibration") == 0) return with_status(req, 6, 1);
    Reply r = with_status(req, 6, 0);
    if (req.group() == 5 && req.item() == 9) {
        ++s.recalibrations;
        fw.set_s16("calibration-hours", 0);
        fw.calibration_time(r, s.recalibrate_minutes * kMinuteUs);
        return r;
    }
    if (req.group() == 6 && req.item() == 8) {
        const auto& b = req.bytes;
        if (!in(b[7], 1, 8) || !in(b[23], 1, 6) || !in(b[24], 1, 4) || !in(b[25], 1, 6) ||
            !in(b[26], 48, 250))
            return with_status(req, 6, 1);
        ++s.configured_calibrations;
        s.last_targets = {b[7], b[23], b[24], b[25], b[26]};
        // The calibrated preset becomes the active one.
        fw.set_u8("color-space", b[7]);
        fw.set_s16("luminance", b[26]);
        fw.set_s16("calibration-hours", 0);
        fw.calibration_time(r, s.configure_minutes * kMinuteUs);
        return r;
    }
    return with_status(req, 6, 0xFF);
}

Reply align(Firmware& fw, const Request& req) {
    PresetsState& s = fw.state.presets;
    if (req.group() != 6 || req.item() != 13) return with_status(req, 1, 0xFF);
    if (fw.u8("calibration") == 0 || fw.u8("external-instrument") == 0) return with_status(req, 1, 1);
    Reply r = with_status(req, 1, 0);
    r.bytes[6] = s.align_reply_byte6;
    ++s.alignments;
    fw.calibration_time(r, s.align_minutes * kMinuteUs);
    return r;
}

}  // namespace

// What this display accepts on the presets family's pages.
constexpr DisplaySetting kPresetsSettings[] = {
    byte("calibration", {6, 11}, {6, 11}).in(0, 1).starts(1),
    byte("external-instrument", {6, 12}, {6, 12}).in(0, 1),
    byte("load-user-preset", none, {4, 8}).in(1, 4),
    byte("save-user-preset", none, {4, 9}).in(1, 4),
    record("calibration-schedule", {12, 0}, {5, 0}),
    record("warmup", {12, 1}, {5, 1}),
};

void init_presets(Firmware& fw) {
    for (UserPreset& p : fw.state.presets.user) p = {true, 1, 100};
    // No schedule and no warm-up, with the times the display last had.
    const uint8_t schedule[8] = {0, 1, 1, 0, 0, 2, 30, 0};
    std::copy_n(schedule, 8, fw.payload("calibration-schedule").begin());
    const uint8_t warmup[11] = {0, 7, 0, 0, 0, 1, 1, 1, 1, 1, 0};
    std::copy_n(warmup, 11, fw.payload("warmup").begin());
}

bool handle_presets(Firmware& fw, const Request& req, Reply& reply) {
    if (req.opcode() == kOpCalibrationMode && req.bytes.size() == 2) {
        reply = with_status(req, 1, 0);
        return true;
    }
    if (req.bytes.size() < 32) return false;
    if (req.opcode() == kOpCalibrate || req.opcode() == kOpAlignDevice) {
        reply = req.opcode() == kOpCalibrate ? calibrate(fw, req) : align(fw, req);
        if (!fw.state.presets.runs_answer) reply = {};
        return true;
    }
    if (req.is_set(4, 8) || req.is_set(4, 9)) {
        reply = user_preset(fw, req, req.item() == 9);
        return true;
    }
    if (req.is_set(5, 0)) {
        reply = store_record(fw, req, "calibration-schedule", 8, schedule_valid(req.bytes));
        return true;
    }
    if (req.is_set(5, 1)) {
        reply = store_record(fw, req, "warmup", 11, warmup_valid(req.bytes));
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(presets, PresetsState, kPresetsSettings, init_presets, handle_presets);

}  // namespace qv::sim
