// State the colour firmware keeps beyond stored setting payloads.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qv::sim {

struct ColourState {
    // Texts as the display sends them (payload bytes 7 on, up to 25 bytes, NUL-padded). An
    // empty colour-space name reports the preset name of the active colour space.
    std::string colour_space_name;
    std::string gamma_name = "2.4";
    // The eight colour-space preset names, each sent in a 15-byte field (cut at 15 bytes,
    // NUL-padded; an empty name is an all-zero field).
    std::array<std::string, 8> preset_names = {"Rec.709", "Rec.2020", "DCI-P3", "P3-D65",
                                               "sRGB",    "Native",   "User 1", "User 2"};
    // The primaries record in thousandths: red, green, blue, white, two fields each.
    std::array<uint16_t, 8> primaries_xy = {640, 330, 300, 600, 150, 60, 313, 329};
    std::array<uint16_t, 8> primaries_uv = {451, 523, 125, 563, 175, 158, 198, 468};
    // Downstream RGB adjustment, red green blue; the display accepts 0..1023 each.
    std::array<int16_t, 3> gains = {1023, 1023, 1023};
    std::array<int16_t, 3> offsets = {512, 512, 512};
};

}  // namespace qv::sim
