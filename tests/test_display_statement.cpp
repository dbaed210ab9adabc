// The library's rows and the simulated display's own statement of what it accepts are written
// independently; here they are held against each other, and every plain setting is driven
// through the library to the display, so that a wrong page, width, bound or step on either
// side shows up as a failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/command_table.h"
#include "support/sim_fixture.h"

namespace {

using qv::Kind;
using qv::SettingRow;
using qv::sim::DisplaySetting;
using qv::sim::Width;

class DisplayStatement : public qvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
    }
    const DisplaySetting* stated(const char* name) {
        for (const DisplaySetting* s : fw().settings())
            if (std::string(s->name) == name) return s;
        return nullptr;
    }
    // A set sent straight to the display, past the library's checks: the reply's status byte.
    int display_status_of_set(const DisplaySetting& s, int value) {
        std::vector<uint8_t> p(32, 0);
        p[0] = 3;
        p[4] = static_cast<uint8_t>(s.set.group);
        p[5] = static_cast<uint8_t>(s.set.item);
        p[7] = static_cast<uint8_t>(value & 0xFF);
        p[8] = static_cast<uint8_t>((value >> 8) & 0xFF);
        return fw().handle(p.data(), p.size()).bytes.at(6);
    }
    // Puts the display in a state this guard lets through (nullptr: no guard).
    void let_through(const qv::Guard* guard) {
        if (guard == nullptr) return;
        auto& state = fw().state.guards;
        switch (guard->id) {
            case qv::GuardId::IMAGE_MODE:
            case qv::GuardId::MONITOR_TYPE_2: state.mode = "3840x2160"; break;
            case qv::GuardId::OVERDRIVE: state.mode = "3840x2160", fw().set_u8("pip", 0); break;
            case qv::GuardId::DCI_MAIN: state.mode = "4096x2160"; break;
            case qv::GuardId::CROPPED_REGION: state.mode = "4096x2160", fw().set_u8("dci-image-region", 1); break;
            case qv::GuardId::MARKER_MAIN: state.mode = "1920x1080"; break;
            case qv::GuardId::MARKER_PIP: state.mode = "1920x1080", fw().set_u8("pip", 1); break;
            case qv::GuardId::PIP_ON_EXACT:
            case qv::GuardId::PIP_ON: fw().set_u8("pip", 1); break;
            case qv::GuardId::PIP_MODE1: fw().set_u8("pip", 1), fw().set_u8("pip-mode", 1); break;
            case qv::GuardId::PIP_DCI:
                fw().set_u8("pip", 1), state.pip_width = 4096, state.pip_height = 2160;
                break;
            case qv::GuardId::WEB_SERVER_MANAGEMENT: fw().set_u8("ws-management", 1); [[fallthrough]];
            case qv::GuardId::WEB_SERVER: fw().set_u8("web-server", 1); break;
        }
    }
};

Width width_of(Kind k) {
    switch (k) {
        case Kind::U8: return Width::byte;
        case Kind::S16: return Width::word;
        case Kind::ACTION: return Width::action;
        case Kind::RECORD: break;
    }
    return Width::record;
}

bool has_page(const SettingRow& r) { return r.get_key.group >= 0 || r.set_key.group >= 0; }

TEST_F(DisplayStatement, RowsAndDisplayAgreeOnPagesWidthsAndBounds) {
    for (const SettingRow& r : qv::kSettings) {
        if (!has_page(r)) continue;
        SCOPED_TRACE(r.cli);
        const DisplaySetting* s = stated(r.cli);
        ASSERT_NE(s, nullptr) << "the display does not know this setting";
        EXPECT_EQ(s->get.group, r.get_key.group);
        EXPECT_EQ(s->get.item, r.get_key.item);
        EXPECT_EQ(s->set.group, r.set_key.group);
        EXPECT_EQ(s->set.item, r.set_key.item);
        EXPECT_EQ(s->width, width_of(r.kind));
        if (r.departure || r.setter == nullptr || r.kind == Kind::ACTION) continue;
        const bool library_checks = (r.flags & qv::F_NO_RANGE) == 0;
        EXPECT_EQ(s->checked, library_checks);
        if (!library_checks) continue;
        EXPECT_EQ(s->low, r.low);
        EXPECT_EQ(s->high, r.high);
        EXPECT_EQ(s->step, r.step);
    }
    for (const DisplaySetting* s : fw().settings()) {
        const SettingRow* r = qv::find_row(s->name);
        EXPECT_TRUE(r != nullptr && has_page(*r)) << s->name << ": the library has no row for it";
    }
}

// The display keeps exactly the values its statement accepts, whatever the host sends.
TEST_F(DisplayStatement, DisplayRefusesSetsOutsideItsOwnBounds) {
    for (const DisplaySetting* s : fw().settings()) {
        if (!s->checked) continue;
        SCOPED_TRACE(s->name);
        const int step = s->step > 0 ? s->step : 1;
        EXPECT_EQ(display_status_of_set(*s, s->low), 0);
        EXPECT_EQ(display_status_of_set(*s, s->high), 0);
        EXPECT_EQ(display_status_of_set(*s, s->high + step), 1);
        if (s->low - step >= (s->width == Width::byte ? 0 : -32768)) {
            EXPECT_EQ(display_status_of_set(*s, s->low - step), 1);
        }
        if (s->step > 1) {
            EXPECT_EQ(display_status_of_set(*s, s->low + 1), 1);
        }
    }
}

// Each plain row through the library's own function to the display, with the display in a
// state its guard lets through. What goes on the wire is built from the display's statement,
// not from the row: a set the display keeps is one set packet carrying the value at bytes 7-8
// (little-endian, byte 8 zero for a byte), a value outside the row's bounds or off its step
// ends with the setter's validation line and sends no set, and the getter reads the stored
// value back with its value line. (What a guard sends and prints when it refuses is tested
// with each family.)
TEST_F(DisplayStatement, EveryPlainRowKeepsToItsBoundsOnTheWire) {
    using qvtest::packet_with;
    const auto packet = [](int opcode, qv::sim::Page page, int value) {
        return packet_with({{0, static_cast<uint8_t>(opcode)}, {4, static_cast<uint8_t>(page.group)},
                            {5, static_cast<uint8_t>(page.item)}, {7, static_cast<uint8_t>(value & 0xFF)},
                            {8, static_cast<uint8_t>((value >> 8) & 0xFF)}});
    };
    for (const SettingRow& r : qv::kSettings) {
        if (r.departure) continue;
        SCOPED_TRACE(r.cli);
        const DisplaySetting* s = stated(r.cli);
        ASSERT_NE(s, nullptr);
        const bool s16 = r.kind == Kind::S16;
        std::vector<int> kept, refused;
        if (r.setter == nullptr) kept = {1, s16 ? 300 : 7};  // put on the display, then read
        else if (r.kind == Kind::ACTION) kept = {0};
        else if (!s->checked) kept = {0, 3, 255};
        else {
            const int step = s->step > 0 ? s->step : 1;
            kept = {s->low, s->high};
            refused = {s->low - step, s->high + step};
            if (s->step > 1) kept.push_back(s->low + step), refused.push_back(s->low + step / 2);
        }
        for (const int v : refused) {
            if (!s16 && (v < 0 || v > 255)) continue;
            SCOPED_TRACE(v);
            let_through(r.set_guard);
            fw().clear_requests();
            const std::string out = printed([&] {
                EXPECT_EQ(s16 ? r.set_s16(static_cast<int16_t>(v)) : r.set_u8(static_cast<uint8_t>(v)),
                          RC_INVALID_ARGUMENT);
            });
            EXPECT_TRUE(out.ends_with(std::string("<ERROR> ") + r.setter + ": Validation Failed.\n")) << out;
            EXPECT_EQ(fw().count_requests(3), 0u);
        }
        for (const int v : kept) {
            SCOPED_TRACE(v);
            let_through(r.set_guard);
            fw().clear_requests();
            if (r.setter == nullptr) {
                s16 ? fw().set_s16(r.cli, static_cast<int16_t>(v)) : fw().set_u8(r.cli, static_cast<uint8_t>(v));
            } else {
                const int rc = r.kind == Kind::ACTION ? r.action()
                               : s16                  ? r.set_s16(static_cast<int16_t>(v))
                                                      : r.set_u8(static_cast<uint8_t>(v));
                EXPECT_EQ(rc, RC_OK);
                if (rc != RC_OK) continue;
                EXPECT_EQ(fw().count_requests(3), 1u);
                EXPECT_EQ(fw().requests().back().bytes, packet(3, s->set, v));
            }
            if (r.getter == nullptr) continue;
            let_through(r.get_guard);
            fw().clear_requests();
            int got = -1;
            char line[128];
            const std::string out = printed([&] {
                if (s16) {
                    int16_t x = 0;
                    EXPECT_EQ(r.get_s16(&x), RC_OK);
                    got = x;
                } else {
                    uint8_t x = 0;
                    EXPECT_EQ(r.get_u8(&x), RC_OK);
                    got = x;
                }
            });
            EXPECT_EQ(got, v);
            std::snprintf(line, sizeof line, r.value_line, v);
            EXPECT_TRUE(out.ends_with(line)) << out;
            EXPECT_EQ(fw().requests().back().bytes, packet(8, s->get, 0));
        }
    }
}

}  // namespace
