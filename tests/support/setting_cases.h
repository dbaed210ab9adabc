// Table-driven checks of one-byte settings: for each setting, the values a setter must send and
// the values it must refuse, and the getter's value line. Every check runs against the
// simulated display through the exported functions.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "quorvex.h"
#include "sim/firmware.h"
#include "support/sim_fixture.h"

namespace qvtest {

struct U8Setting {
    const char* getter_name;  // nullptr for a set-only setting
    int (*get)(uint8_t*);
    const char* setter_name;
    int (*set)(uint8_t);
    int group, item;
    std::vector<int> sent;     // each goes out as bytes 7-8 = value, 0
    std::vector<int> refused;  // each gives RC_INVALID_ARGUMENT and sends nothing
    const char* value_line;    // printf format of the getter's line
};

inline std::string format_line(const char* format, int value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Runs f with stdout captured at file descriptor 1; returns what it printed of its own.
template <class F>
std::string captured(F&& f) {
    StdoutCapture capture;
    f();
    return without_info_lines(capture.stop());
}

// The settings packet a setter sends: opcode 3, group, item, value as a 16-bit LE word.
inline std::vector<uint8_t> set_packet(int group, int item, uint16_t value) {
    std::vector<uint8_t> p(32, 0);
    p[0] = 3;
    p[4] = static_cast<uint8_t>(group);
    p[5] = static_cast<uint8_t>(item);
    p[7] = static_cast<uint8_t>(value & 0xFFu);
    p[8] = static_cast<uint8_t>(value >> 8);
    return p;
}

inline std::vector<uint8_t> get_packet(int group, int item) {
    std::vector<uint8_t> p(32, 0);
    p[0] = 8;
    p[4] = static_cast<uint8_t>(group);
    p[5] = static_cast<uint8_t>(item);
    return p;
}

// Every sent value goes out byte for byte, silently, and reads back with its value line (and
// silently with logging off); every refused value prints the validation line and sends
// nothing; a get the display refuses leaves the caller's byte alone.
inline void check_u8_setting(qv::sim::Firmware& fw, const U8Setting& s) {
    SCOPED_TRACE(s.setter_name);
    for (const int v : s.sent) {
        SCOPED_TRACE("sent " + std::to_string(v));
        fw.clear_requests();
        int rc = -100;
        EXPECT_EQ(captured([&] { rc = s.set(static_cast<uint8_t>(v)); }), "");
        EXPECT_EQ(rc, RC_OK);
        ASSERT_EQ(fw.requests().size(), 1u);
        EXPECT_EQ(fw.requests()[0].bytes, set_packet(s.group, s.item, static_cast<uint16_t>(v)));
        if (s.get == nullptr) continue;
        fw.clear_requests();
        uint8_t got = static_cast<uint8_t>(v + 1);
        EXPECT_EQ(captured([&] { rc = s.get(&got); }), format_line(s.value_line, v));
        EXPECT_EQ(rc, RC_OK);
        EXPECT_EQ(got, v);
        ASSERT_EQ(fw.requests().size(), 1u);
        EXPECT_EQ(fw.requests()[0].bytes, get_packet(s.group, s.item));
        SetLog(0);
        got = static_cast<uint8_t>(v + 1);
        EXPECT_EQ(captured([&] { rc = s.get(&got); }), "");
        SetLog(1);
        EXPECT_EQ(got, v);
    }
    for (const int v : s.refused) {
        SCOPED_TRACE("refused " + std::to_string(v));
        fw.clear_requests();
        int rc = -100;
        EXPECT_EQ(captured([&] { rc = s.set(static_cast<uint8_t>(v)); }),
                  std::string("<ERROR> ") + s.setter_name + ": Validation Failed.\n");
        EXPECT_EQ(rc, RC_INVALID_ARGUMENT);
        EXPECT_TRUE(fw.requests().empty());
    }
    if (s.get != nullptr) {
        fw.refuse(8, s.group, s.item, 1, 1);
        uint8_t got = 0xA5;
        int rc = -100;
        EXPECT_EQ(captured([&] { rc = s.get(&got); }),
                  std::string("<ERROR> ") + s.getter_name + ": RegUsbApi Failed.\n");
        EXPECT_EQ(rc, RC_DEVICE_STATUS);
        EXPECT_EQ(got, 0xA5);
    }
}

}  // namespace qvtest
