// Markers over the main picture and the PIP window: guards, combination rules and clearing.
#include <algorithm>
#include <array>
#include <bit>
#include <functional>

#include "support/setting_cases.h"

namespace qvtest {
namespace {

using Fields = std::array<uint8_t, 12>;  // record byte 0 = clear, bytes 1-11 = marker fields
Fields on(std::initializer_list<int> fields, uint8_t value = 1) {  // the listed fields at `value`
    Fields f{};
    for (const int i : fields) f[static_cast<std::size_t>(i)] = value;
    return f;
}
enum Pic { M, P };
const std::string kUhd = "Display mode is 3840 x 2160 @ 60Hz \nresolution_x = 3840\nresolution_y = 2160\n";
const std::string kHd = "Display mode is 1920 x 1080 @ 60Hz \nresolution_x = 1920\nresolution_y = 1080\n";

class Markers : public SimTest {
protected:
    void connect(uint8_t type = 2, const std::string& mode = "1920x1080") {  // PIP window on
        if (bus) captured([] { Disconnect(); });
        make_bus({qv::sim::FirmwareConfig{.monitor_type = type, .mode = mode}});
        connect_first();
        fw().set_u8("pip", 1);
    }
    void current(Pic pic, const Fields& f) { std::copy(f.begin(), f.end(), fw().payload(pic == M ? "markers" : "pip-markers").begin()); }
};

enum Verdict { OK, NO, NO_CLEAR };  // sent; refused; refused for its clear field

TEST_F(Markers, CombinationRulesPerPictureAndMonitorType) {
    const Fields none{};
    const struct { uint8_t type; Pic pic; Fields want, now; Verdict verdict; } cases[] = {
        {2, M, none, none, OK},              {2, M, on({1, 9, 10, 11}), none, OK}, {2, M, on({1, 2}), none, NO},        {1, P, on({1, 2}), none, NO},
        {1, M, on({4}, 5), none, OK},        {2, M, on({4}, 5), none, NO},         {1, P, on({4}, 5), none, NO},        {1, M, on({9}, 2), none, NO},
        {2, M, on({1}, 0xFF), none, NO},     {2, P, on({11}, 0x80), none, NO},
        // the second group (3-5): main picture on type 2 only, PIP window on any type
        {2, M, on({1, 3}), none, NO},        {1, M, on({1, 3}), none, OK},         {2, M, on({2, 5}), none, NO},        {1, P, on({1, 3}), none, NO},
        {2, M, on({3, 4, 5}), none, OK},     {2, M, on({3, 6}), none, NO},         {1, M, on({3, 6}), none, OK},        {1, P, on({3, 6}), none, NO},
        // 7 and 8 need 6 and no group
        {2, M, on({7}), none, NO},           {1, P, on({8}), none, NO},            {2, M, on({6, 7}), none, OK},        {1, P, on({6, 7, 8}), none, OK},
        {2, M, on({1, 6}), none, OK},        {2, M, on({1, 8}), none, NO},         {1, M, on({1, 6, 7}), none, NO},     {2, M, on({4, 6}), none, OK},
        {2, M, on({4, 6, 7}), none, NO},     {1, M, on({4, 6, 7}), none, OK},
        // what the display reports now: a 2 blocks some switches
        {1, M, on({11}), on({11}, 2), NO},   {2, P, on({11}), on({11}, 2), NO},    {2, M, none, on({11}, 2), OK},       {2, M, on({11}), on({11}), OK},
        {2, M, on({4}), on({4}, 2), NO},     {2, M, on({3, 4}), on({4}, 2), OK},   {2, M, on({5}), on({5}, 2), NO},     {1, M, on({4}), on({4}, 2), OK},
        {1, P, on({4}), on({4}, 2), NO},     {1, P, on({3, 4}), on({4}, 2), OK},   {2, M, on({4}), on({3, 4}, 2), OK},  {2, M, on({3}), on({3}, 2), NO},
        {1, M, on({3}), on({3}, 2), OK},     {1, P, on({3}), on({3}, 2), NO},
        // the PIP window's first group: requested field 1, or field 2 as the display reports it
        {2, M, on({3}), on({2}), OK},        {1, P, on({3}), on({2}), NO},         {1, P, on({3}), on({2}, 2), NO},     {1, P, on({6, 7}), on({2}), NO},
        {1, P, on({6}), on({2}), OK},        {1, P, on({2, 6, 7}), none, OK},
        // the clear field (0): ignored for the main picture, refused for the PIP window after the rules
        {2, M, on({0, 1, 6}), none, OK},     {1, P, on({0, 1, 6}), none, NO_CLEAR}, {1, P, on({0, 1, 2}), none, NO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        connect(c.type);
        current(c.pic, c.now);
        fw().clear_requests();
        const auto d = std::bit_cast<MarkerDetails>(c.want);
        int rc = 0;
        const std::string out = printed([&] { rc = c.pic == M ? SetMarkerDetails(&d) : SetPIPMarkerDetails(&d); });
        const std::string refusal = std::string("<ERROR> ") + (c.pic == M ? "SetMarkerDetails" : "SetPIPMarkerDetails") +
                                    ": Validation Failed." + (c.verdict == NO_CLEAR ? " Clear Markers field is set " : "") + "\n";
        EXPECT_EQ(rc, c.verdict == OK ? RC_OK : RC_INVALID_ARGUMENT);
        EXPECT_EQ(out.substr(std::min(out.find("<ERROR>"), out.size())), c.verdict == OK ? "" : refusal);
        ASSERT_EQ(fw().count_requests(3), c.verdict == OK ? 1u : 0u);
        if (c.verdict != OK) continue;
        std::vector<uint8_t> packet = packet_with({{0, 3}, {4, c.pic == M ? 2 : 3}, {5, 10}});
        std::copy(c.want.begin() + 1, c.want.end(), packet.begin() + 8);  // byte 7 (clear) always 0
        EXPECT_EQ(fw().requests().back().bytes, packet);
    }
}

// Monitor type 1 at 3840 x 2160 offers no markers; the guards refuse before the caller's command.
TEST_F(Markers, GuardsRefuseBeforeAnythingOfTheCallersIsSent) {
    uint8_t colour = 0;
    MarkerDetails d{};
    const auto valid = std::bit_cast<MarkerDetails>(on({1}));
    const std::string pip_off = "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n";
    const auto off = [this] { fw().set_u8("pip", 0); };
    const struct { std::function<void()> setup; std::function<int()> call; int rc; std::vector<std::string> sent; std::string printed; } cases[] = {
        {{}, [] { return ClearMarkers(); }, RC_NOT_ALLOWED, {"get 10,1"}, kUhd},
        {{}, [&] { return GetMarkerDetails(&d); }, RC_NOT_ALLOWED, {"get 10,1"}, kUhd},
        {{}, [&] { return GetMarkerColor(&colour); }, RC_NOT_ALLOWED, {"get 10,1"}, kUhd},
        {{}, [] { return SetMarkerColor(7); }, RC_NOT_ALLOWED, {"get 10,1"}, kUhd},
        {{}, [&] { return SetMarkerDetails(&valid); }, RC_NOT_ALLOWED, {"get 10,1"}, kUhd + "<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"},
        {[this] { fw().state.guards.mode = "1920x1080"; fw().refuse(8, 3, 10, 1); }, [&] { return SetMarkerDetails(&valid); }, RC_DEVICE_STATUS,
         {"get 10,1", "get 3,10"}, kHd + "<ERROR> GetMarkerDetails: RegUsbApi Failed.\n<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"},
        {off, [] { return ClearPIPMarkers(); }, RC_NOT_ALLOWED, {"get 4,0"}, pip_off},
        {off, [] { return SetPIPMarkerColor(9); }, RC_NOT_ALLOWED, {"get 4,0"}, pip_off},
        {off, [&] { return SetPIPMarkerDetails(&valid); }, RC_NOT_ALLOWED, {"get 4,0"}, pip_off + "<ERROR> SetPIPMarkerDetails: RegUsbApi Failed.\n"},
        {{}, [&] { return GetPIPMarkerColor(&colour); }, RC_NOT_ALLOWED, {"get 4,0", "get 4,27", "get 10,1"},
         "PIP status received is 1 \npvActive =1080 phActive =1920\n" + kUhd},
        {[this] { fw().refuse(8, 4, 27, 1); }, [&] { return GetPIPMarkerDetails(&d); }, RC_FAILED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \n<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n"},
        {[this] { fw().refuse(8, 10, 1, 1); }, [] { return SetMarkerColor(1); }, RC_DEVICE_STATUS, {"get 10,1"}, "<ERROR> GetDisplayMode: RegUsbApi Failed.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        connect(1, "3840x2160");
        if (c.setup) c.setup();
        fw().clear_requests();
        int rc = 0;
        EXPECT_EQ(printed([&] { rc = c.call(); }), c.printed);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.sent);
    }
}

// A read copies the 12 bytes as the display reports them (the clear byte and 2s too) and prints
// no value line; a clear sends the clear field alone, without reading first.
TEST_F(Markers, RecordsReadAsReportedAndClearedWithoutReading) {
    connect();
    const Fields main = {7, 1, 0, 2, 2, 0, 0, 0, 0, 0, 0, 2}, pip = on({6, 7});
    current(M, main);
    current(P, pip);
    std::array<uint8_t, 14> storage, want;  // the record at 1..12
    storage.fill(0xA5);
    auto* d = reinterpret_cast<MarkerDetails*>(storage.data() + 1);
    for (const Pic pic : {M, P}) {
        const int group = pic == M ? 3 : 4;  // of the get; the set's is one less
        const std::string guard = (pic == M ? "" : "PIP status received is 1 \npvActive =1080 phActive =1920\n") + kHd;
        want.fill(0xA5);
        std::ranges::copy(pic == M ? main : pip, want.begin() + 1);
        EXPECT_EQ(printed([&] { EXPECT_EQ(pic == M ? GetMarkerDetails(d) : GetPIPMarkerDetails(d), RC_OK); }), guard);
        EXPECT_EQ(fw().requests().back().bytes, setting_packet(8, group, 10));
        EXPECT_EQ(storage, want);
        fw().clear_requests();
        EXPECT_EQ(printed([&] { EXPECT_EQ(pic == M ? ClearMarkers() : ClearPIPMarkers(), RC_OK); }), guard);
        EXPECT_EQ(fw().count_requests(8, group, 10), 0u);
        EXPECT_EQ(fw().requests().back().bytes, packet_with({{0, 3}, {4, group - 1}, {5, 10}, {7, 1}}));
    }
    fw().refuse(8, 4, 10, 1);
    EXPECT_EQ(GetPIPMarkerDetails(d), RC_DEVICE_STATUS);
    EXPECT_EQ(storage, want);
}

}  // namespace
}  // namespace qvtest
