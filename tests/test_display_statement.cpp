// The library's rows and the simulated display's own statement of what it accepts are written
// independently; here they are held against each other, and every plain setting is driven
// through the library to the display, so that a wrong page, width, bound or step on either
// side shows up as a failure.
#include <gtest/gtest.h>

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

// Each plain row without a precondition, through the library's own function, to the display:
// the row's bounds must be values the display keeps and its getter must read them back. (Rows
// behind a guard need display states that exclude each other; their pages and bounds are held
// to the display's statement above, and their own tests drive them.)
TEST_F(DisplayStatement, EveryPlainRowReachesItsSettingOnTheDisplay) {
    for (const SettingRow& r : qv::kSettings) {
        if (r.departure || r.get_guard != nullptr || r.set_guard != nullptr) continue;
        SCOPED_TRACE(r.cli);
        if (r.kind == Kind::ACTION) {
            EXPECT_EQ(r.action(), RC_OK);
            continue;
        }
        const bool checked = (r.flags & qv::F_NO_RANGE) == 0;
        std::vector<int> values;
        if (r.setter == nullptr) values = {1, r.kind == Kind::S16 ? 300 : 7};
        else if (checked) values = {r.low, r.high};
        else values = {3};
        for (const int v : values) {
            SCOPED_TRACE(v);
            if (r.setter == nullptr) {
                r.kind == Kind::S16 ? fw().set_s16(r.cli, static_cast<int16_t>(v))
                                    : fw().set_u8(r.cli, static_cast<uint8_t>(v));
            } else if (r.kind == Kind::S16) {
                ASSERT_EQ(r.set_s16(static_cast<int16_t>(v)), RC_OK);
            } else {
                ASSERT_EQ(r.set_u8(static_cast<uint8_t>(v)), RC_OK);
            }
            if (r.getter == nullptr) continue;  // the display took it: the set returned RC_OK
            int got = -1;
            if (r.kind == Kind::S16) {
                int16_t x = 0;
                EXPECT_EQ(r.get_s16(&x), RC_OK);
                got = x;
            } else {
                uint8_t x = 0;
                EXPECT_EQ(r.get_u8(&x), RC_OK);
                got = x;
            }
            EXPECT_EQ(got, v);
        }
    }
}

}  // namespace
