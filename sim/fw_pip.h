// State the pip firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

// PIP on/off ("pip"), mode, inputs, position and size records are all stored settings; the
// position and size records are laid out alike for get and set (byte 7 selector, bytes 8-9
// X or width, bytes 10-11 Y or height), fw_pip.cpp fills in what the presets stand for.
struct PipState {};

}  // namespace qv::sim
