// Markers over the main picture and the PIP window: guards, the combination rules of the
// marker records, clearing and colours, against the simulated display.
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using Fields = std::array<uint8_t, 12>;  // record byte 0 = clear, bytes 1-11 = marker fields

// A record with the listed fields set to `value`.
Fields with(std::initializer_list<int> fields, uint8_t value = 1) {
    Fields f{};
    for (const int i : fields) f[static_cast<std::size_t>(i)] = value;
    return f;
}

MarkerDetails details_of(const Fields& f) {
    MarkerDetails d;
    std::memcpy(&d, f.data(), sizeof d);
    return d;
}

enum class Pic { main, pip };

class MarkersTest : public SimTest {
protected:
    // Height 1080 allows markers on every monitor type; the PIP window is on.
    void connect(uint8_t monitor_type = 2, const std::string& mode = "1920x1080") {
        qv::sim::FirmwareConfig c;
        c.monitor_type = monitor_type;
        c.mode = mode;
        make_bus({c});
        connect_first();
        fw().set_u8("pip", 1);
    }
    void current(Pic pic, const Fields& f) {
        std::copy(f.begin(), f.end(), fw().payload(pic == Pic::main ? "markers" : "pip-markers").begin());
    }
    template <class F>
    std::string printed_by(F&& f) {  // less the transport's progress lines
        std::string s = output_of(std::forward<F>(f));
        for (std::size_t at = s.find("<INFO> "); at != std::string::npos; at = s.find("<INFO> ", at))
            s.erase(at, s.find('\n', at) + 1 - at);
        return s;
    }
};

struct RuleCase {
    uint8_t type;
    Pic pic;
    Fields want;
    Fields now;  // what the display reports before the call
    bool sent;
};

TEST_F(MarkersTest, CombinationRules) {
    const Fields none{};
    const Pic M = Pic::main, P = Pic::pip;
    const RuleCase cases[] = {
        {2, M, none, none, true},              {2, M, with({1, 9, 10, 11}), none, true},
        {2, M, with({1, 2}), none, false},     {1, P, with({1, 2}), none, false},
        {1, M, with({4}, 5), none, true},      {2, M, with({4}, 5), none, false},   // field 4 free on type 1
        {1, P, with({4}, 5), none, false},     {1, M, with({9}, 2), none, false},
        {2, M, with({1}, 0xFF), none, false},  {2, P, with({11}, 0x80), none, false},
        {2, M, with({1, 3}), none, false},     {1, M, with({1, 3}), none, true},   // second group: type 2 only
        {2, M, with({2, 5}), none, false},     {1, P, with({1, 3}), none, false},  // ... any type for PIP
        {2, M, with({3, 4, 5}), none, true},   {2, M, with({7}), none, false},
        {1, P, with({8}), none, false},        {2, M, with({6, 7}), none, true},
        {1, P, with({6, 7, 8}), none, true},   {2, M, with({1, 6}), none, true},
        {2, M, with({1, 8}), none, false},     {1, M, with({1, 6, 7}), none, false},
        {2, M, with({4, 6}), none, true},      {2, M, with({4, 6, 7}), none, false},
        {1, M, with({4, 6, 7}), none, true},   {2, M, with({3, 6}), none, false},
        {1, M, with({3, 6}), none, true},      {1, P, with({3, 6}), none, false},
        // current values of 2
        {1, M, with({11}), with({11}, 2), false}, {2, P, with({11}), with({11}, 2), false},
        {2, M, none, with({11}, 2), true},        {2, M, with({11}), with({11}), true},
        {2, M, with({4}), with({4}, 2), false},   {2, M, with({3, 4}), with({4}, 2), true},
        {2, M, with({5}), with({5}, 2), false},   {1, M, with({4}), with({4}, 2), true},
        {1, P, with({4}), with({4}, 2), false},   {1, P, with({3, 4}), with({4}, 2), true},
        {2, M, with({4}), with({3, 4}, 2), true}, {2, M, with({3}), with({3}, 2), false},
        {1, M, with({3}), with({3}, 2), true},    {1, P, with({3}), with({3}, 2), false},
        // the PIP window's first group: requested field 1 or field 2 as the display reports it
        {2, M, with({3}), with({2}), true},       {1, P, with({3}), with({2}), false},
        {1, P, with({3}), with({2}, 2), false},   {1, P, with({6, 7}), with({2}), false},
        {1, P, with({6}), with({2}), true},       {1, P, with({2, 6, 7}), none, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", type " << int(c.type));
        connect(c.type);
        current(c.pic, c.now);
        fw().clear_requests();
        const MarkerDetails d = details_of(c.want);
        int rc = 0;
        const std::string printed =
            printed_by([&] { rc = c.pic == M ? SetMarkerDetails(&d) : SetPIPMarkerDetails(&d); });
        if (c.sent) {
            EXPECT_EQ(rc, RC_OK);
            ASSERT_EQ(fw().count_requests(3), 1u);
            const auto& set = fw().requests().back();
            EXPECT_TRUE(c.pic == M ? set.is_set(2, 10) : set.is_set(3, 10));
            EXPECT_TRUE(std::equal(c.want.begin(), c.want.end(), set.bytes.begin() + 7));
        } else {
            EXPECT_EQ(rc, RC_INVALID_ARGUMENT);
            EXPECT_EQ(fw().count_requests(3), 0u);
            EXPECT_EQ(printed.substr(printed.find("<ERROR>")),
                      std::string("<ERROR> ") + (c.pic == M ? "SetMarkerDetails" : "SetPIPMarkerDetails") +
                          ": Validation Failed.\n");
        }
        Disconnect();
    }
}

TEST_F(MarkersTest, ClearFieldIsIgnoredForTheMainPictureAndRefusedForThePipWindow) {
    connect();
    Fields f = with({1, 6});
    f[0] = 1;
    const MarkerDetails d = details_of(f);
    ASSERT_EQ(SetMarkerDetails(&d), RC_OK);
    EXPECT_EQ(fw().requests().back().bytes[7], 0);
    EXPECT_EQ(fw().requests().back().bytes[8], 1);
    fw().clear_requests();
    const std::string printed = printed_by([&] { EXPECT_EQ(SetPIPMarkerDetails(&d), RC_INVALID_ARGUMENT); });
    EXPECT_EQ(printed.substr(printed.find("<ERROR>")),
              "<ERROR> SetPIPMarkerDetails: Validation Failed. Clear Markers field is set \n");
    EXPECT_EQ(fw().count_requests(3), 0u);
}

TEST_F(MarkersTest, ClearSendsTheClearFieldWithoutReadingAndTheDisplayClears) {
    connect();
    current(Pic::main, with({1, 6, 9}));
    current(Pic::pip, with({3, 11}));
    ASSERT_EQ(ClearMarkers(), RC_OK);
    ASSERT_EQ(ClearPIPMarkers(), RC_OK);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 10,1", "set 2,10", "get 4,0", "get 4,27", "get 10,1", "set 3,10"}));
    for (const std::size_t i : {1u, 5u}) {
        const auto& clear = fw().requests()[i];
        EXPECT_EQ(clear.bytes[7], 1);
        EXPECT_TRUE(std::all_of(clear.bytes.begin() + 8, clear.bytes.end(), [](uint8_t b) { return b == 0; }));
    }
    MarkerDetails d = details_of(with({1, 2, 3}));
    ASSERT_EQ(GetMarkerDetails(&d), RC_OK);
    EXPECT_EQ(std::memcmp(&d, Fields{}.data(), sizeof d), 0);
    d = details_of(with({1, 2, 3}));
    ASSERT_EQ(GetPIPMarkerDetails(&d), RC_OK);
    EXPECT_EQ(std::memcmp(&d, Fields{}.data(), sizeof d), 0);
}

TEST_F(MarkersTest, RecordsAreReadAsReportedAndOnlyOnSuccess) {
    connect();
    Fields now = with({3, 4, 11}, 2);
    now[0] = 7;
    now[1] = 1;
    current(Pic::main, now);
    current(Pic::pip, with({6, 7}));
    bus->bridge(0).faults.extra_reply_bytes = 40;  // a long reply fills the 12 bytes only
    std::array<uint8_t, 20> storage;
    storage.fill(0xA5);
    auto* d = reinterpret_cast<MarkerDetails*>(storage.data() + 4);
    EXPECT_EQ(printed_by([&] { ASSERT_EQ(GetMarkerDetails(d), RC_OK); }),
              "Display mode is 1920 x 1080 @ 60Hz \nresolution_x = 1920\nresolution_y = 1080\n");
    EXPECT_TRUE(std::equal(now.begin(), now.end(), storage.begin() + 4));
    EXPECT_EQ(storage[3], 0xA5);
    EXPECT_EQ(storage[16], 0xA5);
    bus->bridge(0).faults.extra_reply_bytes = 0;
    bus->bridge(0).clear();
    fw().clear_requests();
    MarkerDetails p{};
    ASSERT_EQ(GetPIPMarkerDetails(&p), RC_OK);
    EXPECT_EQ(p.marker6 + p.marker7, 2);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,27", "get 10,1", "get 4,10"}));
    fw().refuse(8, 4, 10, 1);
    EXPECT_EQ(GetPIPMarkerDetails(d), RC_DEVICE_STATUS);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), storage.begin() + 4));
}

struct GuardCase {
    const char* name;
    std::function<void()> setup;
    std::function<int()> call;
    int rc;
    std::vector<std::string> requests;
    std::string printed;
};

// Monitor type 1 with a 3840 x 2160 main picture: markers are not offered.
TEST_F(MarkersTest, GuardsRefuseBeforeAnythingOfTheCallersIsSent) {
    uint8_t colour = 0;
    MarkerDetails d{};
    const MarkerDetails valid = details_of(with({1}));
    const std::string uhd = "Display mode is 3840 x 2160 @ 60Hz \nresolution_x = 3840\nresolution_y = 2160\n";
    const std::string pip_off = "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n";
    const auto off = [this] { fw().set_u8("pip", 0); };
    const std::vector<GuardCase> cases = {
        {"main clear", [] {}, [] { return ClearMarkers(); }, RC_NOT_ALLOWED, {"get 10,1"}, uhd},
        {"main read", [] {}, [&] { return GetMarkerDetails(&d); }, RC_NOT_ALLOWED, {"get 10,1"}, uhd},
        {"main colour read", [] {}, [&] { return GetMarkerColor(&colour); }, RC_NOT_ALLOWED, {"get 10,1"}, uhd},
        {"main colour, guard before range", [] {}, [] { return SetMarkerColor(7); }, RC_NOT_ALLOWED, {"get 10,1"}, uhd},
        {"main record set", [] {}, [&] { return SetMarkerDetails(&valid); }, RC_NOT_ALLOWED, {"get 10,1"},
         uhd + "<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"},
        {"main record set, read refused", [this] { fw().state.guards.mode = "1920x1080"; fw().refuse(8, 3, 10, 1); },
         [&] { return SetMarkerDetails(&valid); }, RC_DEVICE_STATUS, {"get 10,1", "get 3,10"},
         "Display mode is 1920 x 1080 @ 60Hz \nresolution_x = 1920\nresolution_y = 1080\n"
         "<ERROR> GetMarkerDetails: RegUsbApi Failed.\n<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"},
        {"PIP clear, PIP off", off, [] { return ClearPIPMarkers(); }, RC_NOT_ALLOWED, {"get 4,0"}, pip_off},
        {"PIP colour, PIP off", off, [] { return SetPIPMarkerColor(9); }, RC_NOT_ALLOWED, {"get 4,0"}, pip_off},
        {"PIP record set, PIP off", off, [&] { return SetPIPMarkerDetails(&valid); }, RC_NOT_ALLOWED, {"get 4,0"},
         pip_off + "<ERROR> SetPIPMarkerDetails: RegUsbApi Failed.\n"},
        {"PIP on, main picture refuses", [] {}, [&] { return GetPIPMarkerColor(&colour); }, RC_NOT_ALLOWED,
         {"get 4,0", "get 4,27", "get 10,1"}, "PIP status received is 1 \npvActive =1080 phActive =1920\n" + uhd},
        {"PIP resolution unreadable", [this] { fw().refuse(8, 4, 27, 1); }, [&] { return GetPIPMarkerDetails(&d); },
         RC_FAILED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \n<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n"},
        {"display mode refused", [this] { fw().refuse(8, 10, 1, 1); }, [] { return SetMarkerColor(1); },
         RC_DEVICE_STATUS, {"get 10,1"}, "<ERROR> GetDisplayMode: RegUsbApi Failed.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        connect(1, "3840x2160");
        c.setup();
        fw().clear_requests();
        int rc = 0;
        EXPECT_EQ(printed_by([&] { rc = c.call(); }), c.printed);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.requests);
        Disconnect();
    }
}

TEST_F(MarkersTest, ColoursAreCheckedAfterTheGuardAndReadBack) {
    connect();
    for (const bool pip : {false, true}) {
        SCOPED_TRACE(pip ? "PIP" : "main");
        int (*const set)(uint8_t) = pip ? SetPIPMarkerColor : SetMarkerColor;
        int (*const get)(uint8_t*) = pip ? GetPIPMarkerColor : GetMarkerColor;
        fw().clear_requests();
        const std::string refusal = printed_by([&] { EXPECT_EQ(set(7), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(refusal.substr(refusal.find("<ERROR>")),
                  std::string("<ERROR> ") + (pip ? "SetPIPMarkerColor" : "SetMarkerColor") + ": Validation Failed.\n");
        EXPECT_EQ(fw().count_requests(3), 0u);
        ASSERT_EQ(set(6), RC_OK);
        EXPECT_TRUE(pip ? fw().requests().back().is_set(3, 22) : fw().requests().back().is_set(2, 22));
        uint8_t back = 0;
        const std::string line = printed_by([&] { ASSERT_EQ(get(&back), RC_OK); });
        EXPECT_EQ(back, 6);
        EXPECT_NE(line.find(pip ? "PIP Marker Colour Value is 6\n" : "Marker color received is 6 \n"), std::string::npos);
        EXPECT_TRUE(pip ? fw().requests().back().is_get(4, 22) : fw().requests().back().is_get(3, 22));
    }
}

}  // namespace
}  // namespace qvtest
