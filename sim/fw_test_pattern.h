// What the test-pattern firmware keeps beyond its stored status: what is on the screen.
#pragma once

#include <array>
#include <cstdint>

namespace qv::sim {

// The test-pattern status the display reports (stored as the "test-pattern" setting).
enum TestPatternStatus : uint8_t {
    kTestPatternOff = 0,
    kTestPatternBuiltIn = 1,    // a built-in (service-mode) pattern is shown
    kTestPatternUserColour = 2, // a flat user-mode colour is shown
    kTestPatternReady = 3,      // the mode is on, nothing shown yet
};

struct TestPatternState {
    std::array<uint8_t, 3> colour{};  // red, green, blue of the last user-mode colour
    uint8_t pattern = 0;              // the last built-in pattern shown
    int mode_changes = 0;             // times the mode was switched on or off
};

}  // namespace qv::sim
