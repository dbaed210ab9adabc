// What the display reports about its current video mode.
#pragma once

#include <cstdint>
#include <string>

namespace qv::sim {

struct GuardsState {
    // Active timing of the main picture: "WIDTHxHEIGHT" or "none" (no signal).
    std::string mode = "3840x2160";
    // When not empty, the display-mode text sent as it stands (up to 25 bytes), whatever `mode`.
    std::string raw_mode_text;
    // Source resolution of the picture-in-picture window.
    int16_t pip_width = 1920;
    int16_t pip_height = 1080;
};

// The display-mode text for a timing, as the display words it: "3840 x 2160 @ 60Hz".
std::string mode_text(const std::string& mode);

}  // namespace qv::sim
