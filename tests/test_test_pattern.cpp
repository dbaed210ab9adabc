// Test patterns against the simulated display: the mode switched on and off through its own
// commands, the status read that the pattern functions make first, and the two-request switch-off.
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using Packets = std::vector<std::vector<uint8_t>>;
using namespace qv::sim;  // the display's test-pattern status values

class TestPattern : public SimTest {
protected:
    void SetUp() override { SimTest::SetUp(); connect_first(); LogMessage = 0; }
    void set_status(uint8_t status) { fw().set_u8("test-pattern", status); fw().clear_requests(); }
    Packets packets() {
        Packets out;
        for (const auto& r : fw().requests()) out.push_back(r.bytes);
        return out;
    }
};

const std::vector<uint8_t> kStatusRead = packet_with({{0, 8}, {4, 16}, {5, 2}});
int user(int16_t r, int16_t g, int16_t b) { return ShowTestPatternforUserMode(r, g, b); }
int service(uint32_t pattern) { return ShowTestPatternServiceMode(pattern); }

TEST_F(TestPattern, StatusAndEnable) {
    uint8_t s = 0xEE;
    EXPECT_EQ(says(RC_OK, [&] { return GetTestPatternStatus(&s); }), "Test Pattern Status is 0 \n");
    EXPECT_EQ(s, 0);
    EXPECT_EQ(says(RC_OK, EnableTestPattern), "");  // no status read first
    EXPECT_EQ(packets(), (Packets{kStatusRead, packet_with({{0, 17}, {4, 3}})}));
    EXPECT_EQ(fw().u8("test-pattern"), kTestPatternReady);
    fw().refuse(8, 16, 2, 1, 1);
    fw().refuse(17, -1, -1, 1, 1);
    EXPECT_EQ(says(RC_DEVICE_STATUS, [&] { return GetTestPatternStatus(&s); }),
              "<ERROR> GetTestPatternStatus: RegUsbApi Status Failed.\n");
    EXPECT_EQ(s, 0);
    EXPECT_EQ(says(RC_DEVICE_STATUS, EnableTestPattern), "<ERROR> EnableTestPattern: RegUsbApi Status Failed.\n");
}

TEST_F(TestPattern, StatusReadComesFirst) {
    const struct { std::string fn; int (*call)(); } calls[] = {{"ShowTestPatternforUserMode", [] { return user(1, 2, 3); }},
                                                               {"ShowTestPatternServiceMode", [] { return service(1); }},
                                                               {"DisableTestPattern", DisableTestPattern}};
    for (const auto& c : calls) {
        set_status(kTestPatternBuiltIn);
        fw().refuse(8, 16, 2, 1, 1);
        EXPECT_EQ(says(RC_DEVICE_STATUS, c.call),
                  "<ERROR> GetTestPatternStatus: RegUsbApi Status Failed.\n<ERROR> " + c.fn + ": RegUsbApi Failed.\n");
        bus->bridge(0).faults.no_reply = true;
        EXPECT_EQ(says(RC_EXCHANGE_FAILED, c.call), "<ERROR> RegUsbApi: Could not Read usb.\n<ERROR> GetTestPatternStatus: "
                                                    "RegUsbApi Failed.\n<ERROR> " + c.fn + ": RegUsbApi Failed.\n");
        bus->bridge(0).faults.no_reply = false;
        EXPECT_EQ(packets(), Packets(2, kStatusRead));
    }
    // With the mode off the pattern functions refuse silently, before looking at their arguments.
    set_status(kTestPatternOff);
    for (const auto call : {+[] { return user(255, 0, 128); }, +[] { return user(256, 0, 0); },
                            +[] { return user(0, -1, 0); }, +[] { return service(3); }, +[] { return service(10); }})
        EXPECT_EQ(says(RC_NOT_ALLOWED, call), "Test Pattern Status is 0 \n");
    EXPECT_EQ(packets(), Packets(5, kStatusRead));
}

TEST_F(TestPattern, UserColourLevelsInOrder) {
    set_status(kTestPatternReady);
    ASSERT_EQ(user(255, 0, 128), RC_OK);
    ASSERT_EQ(user(0, 255, 255), RC_OK);
    EXPECT_EQ(packets(), (Packets{kStatusRead, packet_with({{0, 16}, {4, 2}, {7, 0xFF}, {8, 0}, {9, 0x80}}), kStatusRead,
                                  packet_with({{0, 16}, {4, 2}, {8, 0xFF}, {9, 0xFF}})}));
    const struct { int16_t r, g, b; std::string colour; } bad[] = {
        {256, 0, 0, "Red"}, {-1, 999, 999, "Red"}, {0, -1, 0, "Green"},
        {0, 256, -5, "Green"}, {0, 0, 300, "Blue"}, {255, 255, -32768, "Blue"}};
    fw().clear_requests();
    for (const auto& c : bad)
        EXPECT_EQ(says(RC_INVALID_ARGUMENT, [&] { return user(c.r, c.g, c.b); }),
                  "Test Pattern Status is 2 \n<ERROR> ShowTestPatternforUserMode: " + c.colour + " Validation Failed.\n");
    EXPECT_EQ(packets(), Packets(std::size(bad), kStatusRead));
    fw().refuse(16, -1, -1, 4, 1);
    EXPECT_EQ(says(RC_DEVICE_STATUS, [] { return user(1, 1, 1); }),
              "Test Pattern Status is 2 \n<ERROR> ShowTestPatternforUserMode: RegUsbApi Status Failed.\n");
}

TEST_F(TestPattern, ServicePatternNumbers) {
    // Judged by the low 16 bits as a signed number: 0x10009 is 9, 0xFFFF is -1.
    for (const uint32_t pattern : {0u, 9u, 0x10009u, 10u, 0xFFFFu, 0xFFFFFFFFu}) {
        set_status(kTestPatternReady);
        const bool ok = (pattern & 0xFFFF) <= 9;
        const std::string out = says(ok ? RC_OK : RC_INVALID_ARGUMENT, [&] { return service(pattern); });
        EXPECT_EQ(out, std::string("Test Pattern Status is 3 \n") + (ok ? "" : "<ERROR> ShowTestPatternServiceMode: Validation Failed.\n"));
        EXPECT_EQ(packets(), ok ? (Packets{kStatusRead, packet_with({{0, 18}, {4, 1}, {7, uint8_t(pattern)}})})
                                : Packets{kStatusRead});
    }
}

TEST_F(TestPattern, DisableEndsABuiltInPatternFirst) {
    const auto end_built_in = packet_with({{0, 18}, {4, 1}, {7, 10}}), mode_off = packet_with({{0, 17}});
    for (const auto status : {kTestPatternOff, kTestPatternBuiltIn, kTestPatternUserColour, kTestPatternReady}) {
        set_status(status);
        ASSERT_EQ(DisableTestPattern(), RC_OK);
        // The closing request is clean: nothing of the first request or its reply is left in it.
        EXPECT_EQ(packets(), (status == kTestPatternBuiltIn ? Packets{kStatusRead, end_built_in, mode_off}
                                                            : Packets{kStatusRead, mode_off}));
        EXPECT_EQ(fw().u8("test-pattern"), kTestPatternOff);
    }
    // The first request refused: RC_FAILED, and the mode stays on; the closing one refused: its code.
    set_status(kTestPatternBuiltIn);
    fw().refuse(18, -1, -1, 1, 1);
    EXPECT_EQ(says(RC_FAILED, DisableTestPattern), "Test Pattern Status is 1 \n<ERROR> DisableTestPattern: RegUsbApi Status Failed.\n");
    EXPECT_EQ(packets(), (Packets{kStatusRead, end_built_in}));
    fw().refuse(17, -1, -1, 1, 1);
    EXPECT_EQ(says(RC_DEVICE_STATUS, DisableTestPattern), "Test Pattern Status is 1 \n<ERROR> DisableTestPattern: RegUsbApi Status Failed.\n");
}

}  // namespace
}  // namespace qvtest
