// Helpers for the settings tests: packets as the display receives them, a call's result with
// what it printed, and value lines.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {

// A settings packet: opcode, group, item, and a 16-bit little-endian value at bytes 7-8.
inline std::vector<uint8_t> setting_packet(int opcode, int group, int item, int value = 0) {
    const auto b = [](int v) { return static_cast<uint8_t>(v & 0xFF); };
    return packet_with({{0, b(opcode)}, {4, b(group)}, {5, b(item)}, {7, b(value)}, {8, b(value >> 8)}});
}

// Every packet that reached the display since its requests were last cleared, in order.
using Packets = std::vector<std::vector<uint8_t>>;
inline Packets packets(const qv::sim::Firmware& fw) {
    Packets out;
    for (const auto& r : fw.requests()) out.push_back(r.bytes);
    return out;
}

// A call's result and what it printed of its own: nothing on success, else its error line.
using Outcome = std::pair<int, std::string>;
inline Outcome outcome(const std::string& function, int rc) {
    if (rc == RC_OK) return {rc, ""};
    return {rc, "<ERROR> " + function + (rc == RC_INVALID_ARGUMENT ? ": Validation Failed.\n" : ": RegUsbApi Failed.\n")};
}

// Runs f with stdout captured (the log switch as it stands); returns what it printed of its own.
template <class F>
std::string captured(F&& f) {
    StdoutCapture capture;
    f();
    return without_info_lines(capture.stop());
}

inline std::string format_line(const char* format, int value) {
    char line[128];
    std::snprintf(line, sizeof line, format, value);
    return line;
}

class SettingTest : public SimTest {
protected:
    template <class F>
    Outcome result_of(F&& f) {  // f's result, and what it printed with logging on
        int rc = -100;
        std::string out = printed([&] { rc = f(); });
        return {rc, out};
    }
};

}  // namespace qvtest
