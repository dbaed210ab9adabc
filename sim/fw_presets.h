// What the presets firmware keeps beyond stored setting payloads: the user presets and how long
// the calibration runs take.
#pragma once

#include <array>
#include <cstdint>

namespace qv::sim {

struct UserPreset {
    bool saved = false;
    uint8_t color_space = 0;
    int16_t luminance = 0;
};

struct PresetsState {
    std::array<UserPreset, 4> user;  // presets 1..4

    // Simulated minutes each run takes before the display answers.
    uint32_t recalibrate_minutes = 12;
    uint32_t configure_minutes = 25;
    uint32_t align_minutes = 8;

    // Runs the display carried out.
    int recalibrations = 0;
    int configured_calibrations = 0;
    int alignments = 0;
    // The targets of the last configure-and-calibrate run (bytes 7, 23, 24, 25, 26).
    std::array<uint8_t, 5> last_targets{};

    // false: the display starts its runs but never answers them.
    bool runs_answer = true;

    // Byte 6 of the alignment reply; the display's alignment status is in byte 1.
    uint8_t align_reply_byte6 = 0;
};

}  // namespace qv::sim
