// Test patterns against the simulated display: the mode switched on and off through its own
// commands, the status precondition of the pattern functions, and the two-request switch-off.
#include <array>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::kTestPatternBuiltIn;
using qv::sim::kTestPatternOff;
using qv::sim::kTestPatternReady;
using qv::sim::kTestPatternUserColour;

class TestPattern : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
        LogMessage = 0;
    }
    void set_status(uint8_t status) {
        fw().set_u8("test-pattern", status);
        fw().clear_requests();
    }
    uint8_t status() { return fw().u8("test-pattern"); }
    const std::vector<qv::sim::Request>& sent() { return fw().requests(); }
};

const std::vector<uint8_t> kStatusRead = packet_with({{0, 8}, {4, 16}, {5, 2}});
const std::vector<uint8_t> kModeOff = packet_with({{0, 17}});

TEST_F(TestPattern, StatusReadAndItsRefusalLine) {
    uint8_t s = 0xEE;
    std::string out = printed([&] { ASSERT_EQ(GetTestPatternStatus(&s), RC_OK); });
    EXPECT_EQ(s, 0);
    EXPECT_EQ(out, "Test Pattern Status is 0 \n");
    EXPECT_EQ(sent().back().bytes, kStatusRead);

    fw().refuse(8, 16, 2, 1, 1);
    s = 0xEE;
    out = printed([&] { EXPECT_EQ(GetTestPatternStatus(&s), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetTestPatternStatus: RegUsbApi Status Failed.\n");
    EXPECT_EQ(s, 0xEE);
}

TEST_F(TestPattern, EnableSwitchesTheModeOn) {
    ASSERT_EQ(EnableTestPattern(), RC_OK);
    ASSERT_EQ(sent().size(), 1u);  // no precondition
    EXPECT_EQ(sent()[0].bytes, packet_with({{0, 17}, {4, 3}}));
    EXPECT_EQ(status(), kTestPatternReady);

    fw().refuse(17, -1, -1, 1, 1);
    const std::string out = printed([&] { EXPECT_EQ(EnableTestPattern(), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> EnableTestPattern: RegUsbApi Status Failed.\n");
}

TEST_F(TestPattern, PatternsRefusedSilentlyWhileTheModeIsOff) {
    struct Case {
        const char* what;
        int (*call)();
    } cases[] = {
        {"colour", [] { return ShowTestPatternforUserMode(255, 0, 128); }},
        {"bad red", [] { return ShowTestPatternforUserMode(256, 0, 0); }},
        {"bad green", [] { return ShowTestPatternforUserMode(0, -1, 0); }},
        {"pattern", [] { return ShowTestPatternServiceMode(3); }},
        {"bad pattern", [] { return ShowTestPatternServiceMode(10); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fw().clear_requests();
        const std::string out = printed([&] { EXPECT_EQ(c.call(), RC_NOT_ALLOWED); });
        EXPECT_EQ(out, "Test Pattern Status is 0 \n");  // the status read's own line only
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].bytes, kStatusRead);
    }
}

TEST_F(TestPattern, UnreadableStatusPassesItsCodeOn) {
    set_status(kTestPatternBuiltIn);
    struct Case {
        const char* fn;
        int (*call)();
    } cases[] = {
        {"ShowTestPatternforUserMode", [] { return ShowTestPatternforUserMode(1, 2, 3); }},
        {"ShowTestPatternServiceMode", [] { return ShowTestPatternServiceMode(1); }},
        {"DisableTestPattern", [] { return DisableTestPattern(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fn);
        fw().clear_requests();
        fw().refuse(8, 16, 2, 1, 1);
        std::string out = printed([&] { EXPECT_EQ(c.call(), RC_DEVICE_STATUS); });
        EXPECT_EQ(out, std::string("<ERROR> GetTestPatternStatus: RegUsbApi Status Failed.\n<ERROR> ") + c.fn +
                           ": RegUsbApi Failed.\n");
        EXPECT_EQ(sent().size(), 1u);

        bus->bridge(0).faults.no_reply = true;
        out = printed([&] { EXPECT_EQ(c.call(), RC_EXCHANGE_FAILED); });
        EXPECT_NE(out.find(std::string("<ERROR> ") + c.fn + ": RegUsbApi Failed.\n"), std::string::npos);
        bus->bridge(0).faults.no_reply = false;
        EXPECT_EQ(sent().size(), 2u);
    }
    EXPECT_EQ(status(), kTestPatternBuiltIn);
}

TEST_F(TestPattern, UserColourPacketAndLevelChecks) {
    set_status(kTestPatternReady);
    ASSERT_EQ(ShowTestPatternforUserMode(255, 0, 128), RC_OK);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].bytes, packet_with({{0, 16}, {4, 2}, {7, 0xFF}, {8, 0}, {9, 0x80}}));
    EXPECT_EQ(status(), kTestPatternUserColour);
    EXPECT_EQ(fw().state.test_pattern.colour, (std::array<uint8_t, 3>{255, 0, 128}));

    struct Case {
        int16_t r, g, b;
        const char* line;
    } cases[] = {
        {256, 0, 0, "<ERROR> ShowTestPatternforUserMode: Red Validation Failed.\n"},
        {-1, 999, 999, "<ERROR> ShowTestPatternforUserMode: Red Validation Failed.\n"},
        {0, -1, 0, "<ERROR> ShowTestPatternforUserMode: Green Validation Failed.\n"},
        {0, 256, -5, "<ERROR> ShowTestPatternforUserMode: Green Validation Failed.\n"},
        {0, 0, 300, "<ERROR> ShowTestPatternforUserMode: Blue Validation Failed.\n"},
        {255, 255, -32768, "<ERROR> ShowTestPatternforUserMode: Blue Validation Failed.\n"},
    };
    for (const Case& c : cases) {
        fw().clear_requests();
        const std::string out = printed([&] { EXPECT_EQ(ShowTestPatternforUserMode(c.r, c.g, c.b), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, std::string("Test Pattern Status is 2 \n") + c.line);
        EXPECT_EQ(sent().size(), 1u);
    }

    fw().refuse(16, -1, -1, 4, 1);
    const std::string out = printed([&] { EXPECT_EQ(ShowTestPatternforUserMode(1, 1, 1), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "Test Pattern Status is 2 \n<ERROR> ShowTestPatternforUserMode: RegUsbApi Status Failed.\n");
}

TEST_F(TestPattern, ServicePatternNumbers) {
    set_status(kTestPatternReady);
    struct Case {
        uint32_t pattern;
        int rc;
        uint8_t byte7;
    } cases[] = {
        {0, RC_OK, 0},
        {9, RC_OK, 9},
        {0x10009, RC_OK, 9},  // judged by its low 16 bits
        {10, RC_INVALID_ARGUMENT, 0},
        {0xFFFF, RC_INVALID_ARGUMENT, 0},  // -1 as a signed 16-bit value
        {0xFFFFFFFF, RC_INVALID_ARGUMENT, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        fw().clear_requests();
        const std::string out = printed([&] { EXPECT_EQ(ShowTestPatternServiceMode(c.pattern), c.rc); });
        if (c.rc == RC_OK) {
            ASSERT_EQ(sent().size(), 2u);
            EXPECT_EQ(sent()[1].bytes, packet_with({{0, 18}, {4, 1}, {7, c.byte7}}));
            EXPECT_EQ(fw().state.test_pattern.pattern, c.byte7);
        } else {
            EXPECT_EQ(sent().size(), 1u);
            EXPECT_NE(out.find("<ERROR> ShowTestPatternServiceMode: Validation Failed.\n"), std::string::npos);
        }
    }
    EXPECT_EQ(status(), kTestPatternBuiltIn);
}

TEST_F(TestPattern, DisableEndsABuiltInPatternFirst) {
    set_status(kTestPatternBuiltIn);
    ASSERT_EQ(DisableTestPattern(), RC_OK);
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0].bytes, kStatusRead);
    EXPECT_EQ(sent()[1].bytes, packet_with({{0, 18}, {4, 1}, {7, 10}}));
    // The closing request is clean: nothing of the first request or its reply is left in it.
    EXPECT_EQ(sent()[2].bytes, kModeOff);
    EXPECT_EQ(status(), kTestPatternOff);
}

TEST_F(TestPattern, DisableSendsOnlyTheClosingRequestOtherwise) {
    for (const uint8_t s : {kTestPatternOff, kTestPatternUserColour, kTestPatternReady}) {
        SCOPED_TRACE(int(s));
        set_status(s);
        ASSERT_EQ(DisableTestPattern(), RC_OK);
        ASSERT_EQ(sent().size(), 2u);
        EXPECT_EQ(sent()[1].bytes, kModeOff);
        EXPECT_EQ(status(), kTestPatternOff);
    }
}

TEST_F(TestPattern, DisableFailures) {
    // The first request refused: RC_FAILED, and the mode is not switched off.
    set_status(kTestPatternBuiltIn);
    fw().refuse(18, -1, -1, 1, 1);
    std::string out = printed([&] { EXPECT_EQ(DisableTestPattern(), RC_FAILED); });
    EXPECT_EQ(out, "Test Pattern Status is 1 \n<ERROR> DisableTestPattern: RegUsbApi Status Failed.\n");
    EXPECT_EQ(fw().count_requests(17), 0u);
    EXPECT_EQ(status(), kTestPatternBuiltIn);

    // The closing request refused: its own code.
    set_status(kTestPatternReady);
    fw().refuse(17, -1, -1, 1, 1);
    out = printed([&] { EXPECT_EQ(DisableTestPattern(), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "Test Pattern Status is 3 \n<ERROR> DisableTestPattern: RegUsbApi Status Failed.\n");
}

}  // namespace
}  // namespace qvtest
