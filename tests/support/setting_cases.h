// Table-driven checks of one-byte settings against the simulated display: for each row, the
// values at and just past its bounds and off its step, the exact packets and the getter's value
// line. (Refusals and the log switch are the frame's, tested with it.)
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

constexpr int kNoCheck = -1;  // step of a setter that sends whatever it gets

struct U8Row {
    int (*get)(uint8_t*);  // nullptr for a set-only row
    const char* setter;
    int (*set)(uint8_t);
    int group, item, low, high, step;  // step 0: any value in range
    const char* line;                  // printf format of the getter's value line
};
#define QV_ROW(G, S) G, #S, S

class SettingTest : public SimTest {
protected:
    template <class F>
    Outcome result_of(F&& f) {  // f's result, and what it printed with logging on
        int rc = -100;
        std::string out = printed([&] { rc = f(); });
        return {rc, out};
    }

    void check_rows(const std::vector<U8Row>& rows) {
        connect_first();
        for (const U8Row& r : rows) {
            SCOPED_TRACE(r.setter);
            const int step = r.step > 0 ? r.step : 1;
            std::vector<int> values = {r.low, r.high};
            if (r.step != kNoCheck) values.insert(values.end(), {r.low - step, r.high + step, r.low + step / 2, r.low + step});
            uint8_t got = 0xA5;
            for (const int v : values) {
                if (v < 0 || v > 255) continue;
                SCOPED_TRACE(v);
                const bool ok = r.step == kNoCheck || (v >= r.low && v <= r.high && (v - r.low) % step == 0);
                fw().clear_requests();
                EXPECT_EQ(result_of([&] { return r.set(static_cast<uint8_t>(v)); }),
                          outcome(r.setter, ok ? RC_OK : RC_INVALID_ARGUMENT));
                EXPECT_EQ(packets(fw()), ok ? Packets{setting_packet(3, r.group, r.item, v)} : Packets{});
                if (!ok || r.get == nullptr) continue;
                EXPECT_EQ(result_of([&] { return r.get(&got); }), Outcome(RC_OK, format_line(r.line, v)));
                EXPECT_EQ(got, v);
                EXPECT_EQ(fw().requests().back().bytes, setting_packet(8, r.group, r.item));
            }
        }
    }
};

}  // namespace qvtest
