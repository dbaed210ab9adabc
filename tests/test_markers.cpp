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

MarkerDetails details_of(const Fields& f) {
    MarkerDetails d;
    std::memcpy(&d, f.data(), sizeof d);
    return d;
}

// A record with the listed marker fields set to `value`.
Fields with(std::initializer_list<int> fields, uint8_t value = 1) {
    Fields f{};
    for (const int i : fields) f[static_cast<std::size_t>(i)] = value;
    return f;
}

std::vector<std::string> sent(const qv::sim::Firmware& f) {
    std::vector<std::string> out;
    for (const auto& r : f.requests())
        out.push_back(std::string(r.opcode() == 8 ? "get " : r.opcode() == 3 ? "set " : "op ") +
                      std::to_string(r.group()) + "," + std::to_string(r.item()));
    return out;
}

std::string own_lines(std::string printed) {
    for (std::size_t at = printed.find("<INFO> "); at != std::string::npos; at = printed.find("<INFO> ", at)) {
        const std::size_t end = printed.find('\n', at);
        printed.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    return printed;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

enum class Pic { main, pip };

class MarkersTest : public SimTest {
protected:
    // A display whose main picture allows markers (height 1080 suits every monitor type), with
    // the PIP window on.
    void connect(uint8_t monitor_type = 2, const std::string& mode = "1920x1080") {
        qv::sim::FirmwareConfig c;
        c.monitor_type = monitor_type;
        c.mode = mode;
        make_bus({c});
        connect_first();
        fw().set_u8("pip", 1);
    }
    void current(Pic pic, const Fields& f) {
        qv::sim::Payload& p = fw().payload(pic == Pic::main ? "markers" : "pip-markers");
        std::copy(f.begin(), f.end(), p.begin());
    }
    template <class F>
    std::string own_output(F&& f) {
        return own_lines(output_of(std::forward<F>(f)));
    }
};

// ------------------------------------------------------------------ combination rules

struct RuleCase {
    const char* name;
    uint8_t monitor_type;
    Pic pic;
    Fields want;
    Fields now;  // what the display reports before the call
    int rc;
};

TEST_F(MarkersTest, CombinationRules) {
    const Fields none{};
    const std::vector<RuleCase> cases = {
        {"nothing on", 2, Pic::main, none, none, RC_OK},
        {"fields 1, 9, 10, 11", 2, Pic::main, with({1, 9, 10, 11}), none, RC_OK},
        {"fields 1 and 2", 2, Pic::main, with({1, 2}), none, RC_INVALID_ARGUMENT},
        {"fields 1 and 2 (type 1)", 1, Pic::main, with({1, 2}), none, RC_INVALID_ARGUMENT},
        {"fields 1 and 2 (PIP)", 1, Pic::pip, with({1, 2}), none, RC_INVALID_ARGUMENT},
        {"field 4 = 5 on type 1 is free", 1, Pic::main, with({4}, 5), none, RC_OK},
        {"field 4 = 5 on type 2", 2, Pic::main, with({4}, 5), none, RC_INVALID_ARGUMENT},
        {"field 4 = 5 for PIP on type 1", 1, Pic::pip, with({4}, 5), none, RC_INVALID_ARGUMENT},
        {"field 9 = 2", 1, Pic::main, with({9}, 2), none, RC_INVALID_ARGUMENT},
        {"field 1 = 0xFF", 2, Pic::main, with({1}, 0xFF), none, RC_INVALID_ARGUMENT},
        {"field 11 = 0x80 (PIP)", 2, Pic::pip, with({11}, 0x80), none, RC_INVALID_ARGUMENT},
        {"fields 1 and 3 on type 2", 2, Pic::main, with({1, 3}), none, RC_INVALID_ARGUMENT},
        {"fields 1 and 3 on type 1", 1, Pic::main, with({1, 3}), none, RC_OK},
        {"fields 2 and 5 on type 2", 2, Pic::main, with({2, 5}), none, RC_INVALID_ARGUMENT},
        {"fields 1 and 3 (PIP, type 1)", 1, Pic::pip, with({1, 3}), none, RC_INVALID_ARGUMENT},
        {"fields 3, 4, 5 together", 2, Pic::main, with({3, 4, 5}), none, RC_OK},
        {"field 7 alone", 2, Pic::main, with({7}), none, RC_INVALID_ARGUMENT},
        {"field 8 alone (PIP)", 1, Pic::pip, with({8}), none, RC_INVALID_ARGUMENT},
        {"fields 6 and 7", 2, Pic::main, with({6, 7}), none, RC_OK},
        {"fields 6, 7, 8", 1, Pic::pip, with({6, 7, 8}), none, RC_OK},
        {"fields 1 and 6", 2, Pic::main, with({1, 6}), none, RC_OK},
        {"fields 1 and 8", 2, Pic::main, with({1, 8}), none, RC_INVALID_ARGUMENT},
        {"fields 1, 6, 7", 1, Pic::main, with({1, 6, 7}), none, RC_INVALID_ARGUMENT},
        {"fields 4 and 6 on type 2", 2, Pic::main, with({4, 6}), none, RC_OK},
        {"fields 4 and 7 on type 2", 2, Pic::main, with({4, 6, 7}), none, RC_INVALID_ARGUMENT},
        {"fields 4 and 7 on type 1", 1, Pic::main, with({4, 6, 7}), none, RC_OK},
        {"fields 3 and 6 on type 2", 2, Pic::main, with({3, 6}), none, RC_INVALID_ARGUMENT},
        {"fields 3 and 6 on type 1", 1, Pic::main, with({3, 6}), none, RC_OK},
        {"fields 3 and 6 (PIP, type 1)", 1, Pic::pip, with({3, 6}), none, RC_INVALID_ARGUMENT},
        {"field 11 while it reads 2", 1, Pic::main, with({11}), with({11}, 2), RC_INVALID_ARGUMENT},
        {"field 11 while it reads 2 (PIP)", 2, Pic::pip, with({11}), with({11}, 2), RC_INVALID_ARGUMENT},
        {"field 11 off while it reads 2", 2, Pic::main, none, with({11}, 2), RC_OK},
        {"field 11 while it reads 1", 2, Pic::main, with({11}), with({11}), RC_OK},
        {"field 4 while it reads 2", 2, Pic::main, with({4}), with({4}, 2), RC_INVALID_ARGUMENT},
        {"fields 3 and 4 while 4 reads 2", 2, Pic::main, with({3, 4}), with({4}, 2), RC_OK},
        {"field 5 while it reads 2", 2, Pic::main, with({5}), with({5}, 2), RC_INVALID_ARGUMENT},
        {"field 4 while it reads 2 (type 1)", 1, Pic::main, with({4}), with({4}, 2), RC_OK},
        {"field 4 while it reads 2 (PIP, type 1)", 1, Pic::pip, with({4}), with({4}, 2), RC_INVALID_ARGUMENT},
        {"fields 3 and 4 while 4 reads 2 (PIP, type 1)", 1, Pic::pip, with({3, 4}), with({4}, 2), RC_OK},
        {"field 4 while 3 and 4 read 2", 2, Pic::main, with({4}), with({3, 4}, 2), RC_OK},
        {"field 3 while it reads 2", 2, Pic::main, with({3}), with({3}, 2), RC_INVALID_ARGUMENT},
        {"field 3 while it reads 2 (type 1)", 1, Pic::main, with({3}), with({3}, 2), RC_OK},
        {"field 3 while it reads 2 (PIP)", 1, Pic::pip, with({3}), with({3}, 2), RC_INVALID_ARGUMENT},
        // The first group is the requested field 1, and field 2 as requested (main picture) or
        // as the PIP window reports it now.
        {"field 3 while 2 reads on", 2, Pic::main, with({3}), with({2}), RC_OK},
        {"field 3 while 2 reads on (PIP)", 1, Pic::pip, with({3}), with({2}), RC_INVALID_ARGUMENT},
        {"field 3 while 2 reads 2 (PIP)", 1, Pic::pip, with({3}), with({2}, 2), RC_INVALID_ARGUMENT},
        {"fields 6 and 7 while 2 reads on (PIP)", 1, Pic::pip, with({6, 7}), with({2}), RC_INVALID_ARGUMENT},
        {"field 7 while 2 reads on (PIP)", 1, Pic::pip, with({7}), with({2}), RC_INVALID_ARGUMENT},
        {"field 6 while 2 reads on (PIP)", 1, Pic::pip, with({6}), with({2}), RC_OK},
        {"field 2 requested (PIP) is the caller's", 1, Pic::pip, with({2, 6, 7}), none, RC_OK},
        {"fields 6 and 7 while 2 reads on", 2, Pic::main, with({6, 7}), with({2}), RC_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", monitor type " << int(c.monitor_type)
                                        << (c.pic == Pic::main ? ", main" : ", PIP"));
        connect(c.monitor_type);
        current(c.pic, c.now);
        fw().clear_requests();
        const MarkerDetails d = details_of(c.want);
        int rc = 0;
        const std::string printed = own_output(
            [&] { rc = c.pic == Pic::main ? SetMarkerDetails(&d) : SetPIPMarkerDetails(&d); });
        EXPECT_EQ(rc, c.rc);
        const char* fn = c.pic == Pic::main ? "SetMarkerDetails" : "SetPIPMarkerDetails";
        if (c.rc == RC_OK) {
            ASSERT_EQ(fw().count_requests(3), 1u);
            const auto& set = fw().requests().back();
            EXPECT_TRUE(c.pic == Pic::main ? set.is_set(2, 10) : set.is_set(3, 10));
            EXPECT_EQ(set.bytes[7], 0);
            for (std::size_t i = 1; i < 12; ++i) EXPECT_EQ(set.bytes[7 + i], c.want[i]) << "field " << i;
            for (std::size_t i = 19; i < 32; ++i) EXPECT_EQ(set.bytes[i], 0) << i;
            EXPECT_EQ(printed.find("<ERROR>"), std::string::npos) << printed;
        } else {
            EXPECT_EQ(fw().count_requests(3), 0u);
            EXPECT_EQ(count_of(printed, "<ERROR>"), 1u) << printed;
            EXPECT_NE(printed.find(std::string("<ERROR> ") + fn + ": Validation Failed.\n"), std::string::npos)
                << printed;
        }
        Disconnect();
    }
}

// ------------------------------------------------------------------ the clear field

TEST_F(MarkersTest, ClearFieldIsIgnoredForTheMainPictureAndRefusedForThePipWindow) {
    connect();
    Fields f = with({1, 6});
    f[0] = 1;
    const MarkerDetails d = details_of(f);
    fw().clear_requests();
    ASSERT_EQ(SetMarkerDetails(&d), RC_OK);
    EXPECT_EQ(fw().requests().back().bytes[7], 0);
    EXPECT_EQ(fw().requests().back().bytes[8], 1);

    fw().clear_requests();
    std::string printed = own_output([&] { EXPECT_EQ(SetPIPMarkerDetails(&d), RC_INVALID_ARGUMENT); });
    EXPECT_NE(printed.find("<ERROR> SetPIPMarkerDetails: Validation Failed. Clear Markers field is set \n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("Validation Failed.\n"), std::string::npos) << printed;
    EXPECT_EQ(fw().count_requests(3), 0u);

    // The combination is judged first.
    f[2] = 1;
    const MarkerDetails both = details_of(f);
    printed = own_output([&] { EXPECT_EQ(SetPIPMarkerDetails(&both), RC_INVALID_ARGUMENT); });
    EXPECT_NE(printed.find("<ERROR> SetPIPMarkerDetails: Validation Failed.\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Clear Markers field is set"), std::string::npos) << printed;
}

TEST_F(MarkersTest, ClearSendsTheClearFieldWithoutReadingAndTheDisplayClears) {
    connect();
    current(Pic::main, with({1, 6, 9}));
    current(Pic::pip, with({3, 11}));
    fw().clear_requests();
    ASSERT_EQ(ClearMarkers(), RC_OK);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 10,1", "set 2,10"}));
    const auto& main_clear = fw().requests().back();
    EXPECT_EQ(main_clear.bytes[7], 1);
    for (std::size_t i = 8; i < 32; ++i) EXPECT_EQ(main_clear.bytes[i], 0) << i;

    fw().clear_requests();
    ASSERT_EQ(ClearPIPMarkers(), RC_OK);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,27", "get 10,1", "set 3,10"}));
    EXPECT_EQ(fw().requests().back().bytes[7], 1);

    MarkerDetails d = details_of(with({1, 2, 3}));
    ASSERT_EQ(GetMarkerDetails(&d), RC_OK);
    const Fields zero{};
    EXPECT_EQ(std::memcmp(&d, zero.data(), sizeof d), 0);
    d = details_of(with({1, 2, 3}));
    ASSERT_EQ(GetPIPMarkerDetails(&d), RC_OK);
    EXPECT_EQ(std::memcmp(&d, zero.data(), sizeof d), 0);
}

// ------------------------------------------------------------------ reads

TEST_F(MarkersTest, RecordsAreReadAsTheDisplayReportsThem) {
    connect();
    Fields main_now = with({3, 4, 11}, 2);
    main_now[1] = 1;
    main_now[0] = 7;
    current(Pic::main, main_now);
    current(Pic::pip, with({6, 7}));
    MarkerDetails d{};
    std::string printed = own_output([&] { ASSERT_EQ(GetMarkerDetails(&d), RC_OK); });
    EXPECT_EQ(std::memcmp(&d, main_now.data(), sizeof d), 0);
    EXPECT_EQ(d.marker3, 2);
    EXPECT_EQ(d.marker1, 1);
    EXPECT_EQ(printed, "Display mode is 1920 x 1080 @ 60Hz \nresolution_x = 1920\nresolution_y = 1080\n");
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 10,1", "get 3,10"}));

    fw().clear_requests();
    ASSERT_EQ(GetPIPMarkerDetails(&d), RC_OK);
    EXPECT_EQ(d.marker6, 1);
    EXPECT_EQ(d.marker7, 1);
    EXPECT_EQ(d.marker3, 0);
    EXPECT_EQ(sent(fw()), (std::vector<std::string>{"get 4,0", "get 4,27", "get 10,1", "get 4,10"}));
}

TEST_F(MarkersTest, RefusedReadsLeaveTheCallersRecord) {
    connect();
    const Fields canary = with({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0x33);
    MarkerDetails d = details_of(canary);
    fw().refuse(8, 3, 10, 1);
    EXPECT_EQ(GetMarkerDetails(&d), RC_DEVICE_STATUS);
    fw().refuse(8, 4, 10, 1);
    EXPECT_EQ(GetPIPMarkerDetails(&d), RC_DEVICE_STATUS);
    EXPECT_EQ(std::memcmp(&d, canary.data(), sizeof d), 0);
}

TEST_F(MarkersTest, ALongReplyFillsOnlyTheTwelveBytes) {
    connect();
    current(Pic::main, with({1, 6, 10}));
    std::array<uint8_t, 32> storage;
    storage.fill(0xA5);
    bus->bridge(0).faults.extra_reply_bytes = 40;
    MarkerDetails* d = reinterpret_cast<MarkerDetails*>(storage.data() + 8);
    ASSERT_EQ(GetMarkerDetails(d), RC_OK);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(storage[i], 0xA5) << i;
    for (std::size_t i = 20; i < storage.size(); ++i) EXPECT_EQ(storage[i], 0xA5) << i;
    EXPECT_EQ(storage[8 + 1], 1);
    EXPECT_EQ(storage[8 + 6], 1);
    EXPECT_EQ(storage[8 + 10], 1);
}

// ------------------------------------------------------------------ guards

struct GuardCase {
    const char* name;
    std::function<void()> setup;
    std::function<int()> call;
    int rc;
    std::vector<std::string> requests;
    std::string printed;  // everything printed, logging on, less the transport's lines
};

TEST_F(MarkersTest, GuardsRefuseBeforeAnythingOfTheCallersIsSent) {
    uint8_t colour = 0;
    MarkerDetails d{};
    const MarkerDetails valid = details_of(with({1}));
    const std::string main_2160 =
        "Display mode is 3840 x 2160 @ 60Hz \nresolution_x = 3840\nresolution_y = 2160\n";
    const std::vector<GuardCase> cases = {
        {"main: 3840 wide on type 1", [] {}, [] { return ClearMarkers(); }, RC_NOT_ALLOWED, {"get 10,1"},
         main_2160},
        {"main read", [] {}, [&] { return GetMarkerDetails(&d); }, RC_NOT_ALLOWED, {"get 10,1"}, main_2160},
        {"main colour read", [] {}, [&] { return GetMarkerColor(&colour); }, RC_NOT_ALLOWED, {"get 10,1"},
         main_2160},
        {"main colour out of range: the guard comes first", [] {}, [] { return SetMarkerColor(7); },
         RC_NOT_ALLOWED, {"get 10,1"}, main_2160},
        {"main record set: the read's failure is reported", [] {}, [&] { return SetMarkerDetails(&valid); },
         RC_NOT_ALLOWED, {"get 10,1"}, main_2160 + "<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"},
        {"PIP off", [this] { fw().set_u8("pip", 0); }, [] { return ClearPIPMarkers(); }, RC_NOT_ALLOWED,
         {"get 4,0"}, "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n"},
        {"PIP off, colour out of range", [this] { fw().set_u8("pip", 0); }, [] { return SetPIPMarkerColor(9); },
         RC_NOT_ALLOWED, {"get 4,0"}, "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n"},
        {"PIP off, record set", [this] { fw().set_u8("pip", 0); }, [&] { return SetPIPMarkerDetails(&valid); },
         RC_NOT_ALLOWED, {"get 4,0"},
         "PIP status received is 0 \n<ERROR> GetPIPResolution: Pip mode Failed.\n"
         "<ERROR> SetPIPMarkerDetails: RegUsbApi Failed.\n"},
        {"PIP on, main picture 3840 wide on type 1", [] {}, [&] { return GetPIPMarkerColor(&colour); },
         RC_NOT_ALLOWED, {"get 4,0", "get 4,27", "get 10,1"},
         "PIP status received is 1 \npvActive =1080 phActive =1920\n" + main_2160},
        {"PIP resolution unreadable", [this] { fw().refuse(8, 4, 27, 1); }, [&] { return GetPIPMarkerDetails(&d); },
         RC_FAILED, {"get 4,0", "get 4,27"},
         "PIP status received is 1 \n<ERROR> GetPIPResolution: RegUsbApi Status Failed.\n"},
        {"display mode refused", [this] { fw().refuse(8, 10, 1, 1); }, [] { return SetMarkerColor(1); },
         RC_DEVICE_STATUS, {"get 10,1"}, "<ERROR> GetDisplayMode: RegUsbApi Failed.\n"},
        {"no signal", [this] { fw().state.guards.mode = "none"; }, [] { return ClearMarkers(); }, RC_NOT_ALLOWED,
         {"get 10,1"}, "Display mode is No Signal \nresolution_x = No\nresolution_y = (null)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        connect(1, "3840x2160");
        c.setup();
        fw().clear_requests();
        int rc = 0;
        const std::string printed = own_output([&] { rc = c.call(); });
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(sent(fw()), c.requests);
        EXPECT_EQ(printed, c.printed);
        Disconnect();
    }
}

TEST_F(MarkersTest, SupportFollowsTheMonitorTypeAndResolution) {
    struct Case {
        uint8_t type;
        const char* mode;
        int rc;
    };
    const Case cases[] = {
        {2, "3840x2160", RC_OK}, {2, "4096x2160", RC_OK}, {2, "2560x1440", RC_NOT_ALLOWED},
        {1, "2560x1440", RC_OK}, {1, "3840x2160", RC_NOT_ALLOWED}, {1, "1280x720", RC_OK},
        {3, "2560x1440", RC_OK}, {3, "3840x2160", RC_NOT_ALLOWED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " " << c.mode);
        connect(c.type, c.mode);
        EXPECT_EQ(SetMarkerColor(3), c.rc);
        EXPECT_EQ(SetPIPMarkerColor(3), c.rc);
        EXPECT_EQ(fw().count_requests(3), c.rc == RC_OK ? 2u : 0u);
        Disconnect();
    }
}

TEST_F(MarkersTest, ReadFailureBeforeARecordSetIsReportedTwice) {
    connect();
    fw().refuse(8, 3, 10, 1);
    const MarkerDetails d = details_of(with({1}));
    const std::string printed = own_output([&] { EXPECT_EQ(SetMarkerDetails(&d), RC_DEVICE_STATUS); });
    EXPECT_NE(printed.find("<ERROR> GetMarkerDetails: RegUsbApi Failed.\n<ERROR> SetMarkerDetails: RegUsbApi Failed.\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(fw().count_requests(3), 0u);
}

TEST_F(MarkersTest, RefusedRecordSetIsReported) {
    connect();
    fw().refuse(3, 3, 10, 1);
    const MarkerDetails d = details_of(with({6}));
    const std::string printed = own_output([&] { EXPECT_EQ(SetPIPMarkerDetails(&d), RC_DEVICE_STATUS); });
    EXPECT_NE(printed.find("<ERROR> SetPIPMarkerDetails: RegUsbApi Failed.\n"), std::string::npos) << printed;
}

// ------------------------------------------------------------------ colours

TEST_F(MarkersTest, ColoursAreCheckedAfterTheGuardAndReadBack) {
    connect();
    for (const bool pip : {false, true}) {
        SCOPED_TRACE(pip ? "PIP" : "main");
        int (*const set)(uint8_t) = pip ? SetPIPMarkerColor : SetMarkerColor;
        int (*const get)(uint8_t*) = pip ? GetPIPMarkerColor : GetMarkerColor;
        fw().clear_requests();
        const std::string printed = own_output([&] { EXPECT_EQ(set(7), RC_INVALID_ARGUMENT); });
        EXPECT_NE(printed.find(pip ? "<ERROR> SetPIPMarkerColor: Validation Failed.\n"
                                   : "<ERROR> SetMarkerColor: Validation Failed.\n"),
                  std::string::npos);
        EXPECT_EQ(fw().count_requests(3), 0u);
        EXPECT_EQ(set(255), RC_INVALID_ARGUMENT);
        for (const uint8_t c : {uint8_t{0}, uint8_t{6}}) {
            ASSERT_EQ(set(c), RC_OK);
            const auto& req = fw().requests().back();
            EXPECT_TRUE(pip ? req.is_set(3, 22) : req.is_set(2, 22));
            EXPECT_EQ(req.bytes[7], c);
            EXPECT_EQ(req.bytes[8], 0);
            uint8_t back = 0xEE;
            const std::string line = own_output([&] { ASSERT_EQ(get(&back), RC_OK); });
            EXPECT_EQ(back, c);
            const std::string want = pip ? "PIP Marker Colour Value is " + std::to_string(c) + "\n"
                                         : "Marker color received is " + std::to_string(c) + " \n";
            ASSERT_GE(line.size(), want.size());
            EXPECT_EQ(line.substr(line.size() - want.size()), want);
            EXPECT_TRUE(pip ? fw().requests().back().is_get(4, 22) : fw().requests().back().is_get(3, 22));
        }
    }
}

}  // namespace
}  // namespace qvtest
