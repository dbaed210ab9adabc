// Network settings against the simulated display: the web-server and management preconditions
// and where each range check sits among them, the IP configuration record, and SplitIPV4.
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using S = std::string;
constexpr uint8_t E = 0xEE;  // a byte SplitIPV4 must not write

Bytes bytes_of(const void* p, std::size_t n) { return {static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n}; }

// Fields are copied as they stand (up to all 16 bytes, NULs included); the rest is 0.
IPConfigRecord record(uint8_t mode, const S& address, const S& mask, const S& gateway) {
    IPConfigRecord r{mode, {}, {}, {}};
    std::memcpy(r.ipAddress, address.data(), address.size());
    std::memcpy(r.subnetMask, mask.data(), mask.size());
    std::memcpy(r.gateway, gateway.data(), gateway.size());
    return r;
}

class Network : public SimTest {
protected:
    void SetUp() override { SimTest::SetUp(); connect_first(); }
    void web(uint8_t server, uint8_t management) { fw().set_u8("web-server", server); fw().set_u8("ws-management", management); }
    // Runs f with logging on, expecting result rc; returns what it printed (what it sent stays in fw()).
    S run(const std::function<int()>& f, int rc) {
        fw().clear_requests();
        return says(rc, f);
    }
};

TEST_F(Network, WebServerNotOnRefusesAfterReadingOnlyTheSwitch) {
    uint8_t byte = 0;
    const IPConfigRecord original = record(1, "10.0.0.2", "255.0.0.0", "10.0.0.1");
    IPConfigRecord rec = original;
    char mac[18] = {};
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"GetIPConfiguration", [&] { return GetIPConfiguration(reinterpret_cast<char*>(&rec), mac); }},
        {"SetIPConfiguration", [&] { return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)); }},
        {"GetWSManagementStatus", [&] { return GetWSManagementStatus(&byte); }},
        {"SetWSManagementStatus", [] { return SetWSManagementStatus(1); }},
        {"GetWSIdentifySupportStatus", [&] { return GetWSIdentifySupportStatus(&byte); }},
        {"SetWSIdentifySupportStatus", [] { return SetWSIdentifySupportStatus(1); }},
    };
    // Off, holding a value other than 1, and unreadable: each refuses the same way.
    const std::vector<std::pair<std::function<void()>, S>> switches = {
        {[&] { web(0, 1); }, "Webserver Status is 0 \n"},
        {[&] { fw().payload("web-server")[0] = 2; }, "Webserver Status is 2 \n"},
        {[&] { fw().refuse(8, 5, 0, 3); }, "<ERROR> GetWebServerStatus: RegUsbApi Failed.\n"},
    };
    for (const auto& [prepare, first_line] : switches) {
        prepare();
        for (const auto& [name, call] : calls) {
            SCOPED_TRACE(first_line + name);
            EXPECT_EQ(run(call, RC_NOT_ALLOWED), first_line + "<ERROR> " + name + ": Web Server status disabled.\n");
            EXPECT_EQ(sent(fw()), Strings{"get 5,0"});
        }
    }
    EXPECT_EQ(bytes_of(&rec, sizeof rec), bytes_of(&original, sizeof rec));
    EXPECT_EQ(bytes_of(mac, sizeof mac), Bytes(sizeof mac, 0));
}

// Where each range check sits among the preconditions: what goes out, and what is printed.
TEST_F(Network, OrderOfChecks) {
    IPConfigRecord mode2 = record(2, "1.2.3.4", "255.0.0.0", "1.2.3.1");
    uint8_t v = 0;
    const S on = "Webserver Status is 1 \n", both = on + on + "WS management status is ";
    const auto invalid = [](const S& fn) { return "<ERROR> " + fn + ": Validation Failed.\n"; };
    const struct { uint8_t server, management; std::function<int()> call; int rc; Strings requests; S out; } cases[] = {
        {0, 1, [] { return SetWSManagementStatus(2); }, RC_INVALID_ARGUMENT, {}, invalid("SetWSManagementStatus")},
        {1, 1, [] { return SetWSManagementStatus(0); }, RC_OK, {"get 5,0", "set 10,3"}, on},
        {1, 1, [&] { return GetWSManagementStatus(&v); }, RC_OK, {"get 5,0", "get 5,3"}, on + "WS management status is 1 \n"},
        {1, 1, [] { return SetWSIdentifySupportStatus(2); }, RC_INVALID_ARGUMENT, {"get 5,0", "get 5,0", "get 5,3"},
         both + "1 \n" + invalid("SetWSIdentifySupportStatus")},
        {1, 0, [] { return SetWSIdentifySupportStatus(2); }, RC_NOT_ALLOWED, {"get 5,0", "get 5,0", "get 5,3"},
         both + "0 \n<ERROR> SetWSIdentifySupportStatus: Web managment status disabled.\n"},
        {1, 1, [] { return SetWSIdentifySupportStatus(1); }, RC_OK, {"get 5,0", "get 5,0", "get 5,3", "set 10,4"}, both + "1 \n"},
        // Reading the identify support needs only the web server.
        {1, 0, [&] { return GetWSIdentifySupportStatus(&v); }, RC_OK, {"get 5,0", "get 5,4"}, on + "WS Identify support is 1 \n"},
        {1, 1, [&] { return SetIPConfiguration(reinterpret_cast<uint8_t*>(&mode2)); }, RC_INVALID_ARGUMENT, {"get 5,0"},
         on + invalid("SetIPConfiguration")},
        // The web server's own setter prints the value first, whatever it is.
        {1, 1, [] { return SetWebServerStatus(7); }, RC_INVALID_ARGUMENT, {}, "Trying to set value 7 \n" + invalid("SetWebServerStatus")},
        {1, 1, [] { return SetWebServerStatus(0); }, RC_OK, {"set 10,0"}, "Trying to set value 0 \n"},
        // The dashboard security pair needs no web server.
        {0, 0, [] { return SetDashboardSecurity(1); }, RC_OK, {"set 10,5"}, ""},
        {0, 0, [&] { return GetDashboardSecurityStatus(&v); }, RC_OK, {"get 5,5"}, "Dash board security mode is 1 \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        web(c.server, c.management);
        EXPECT_EQ(run(c.call, c.rc), c.out);
        EXPECT_EQ(sent(fw()), c.requests);
    }
    EXPECT_EQ(output_of([] { SetWebServerStatus(9); }), "");  // logging is off after run()
}

TEST_F(Network, GetIPConfigurationFillsTheRecordAndTheMacText) {
    auto& n = fw().state.network;
    n.ip_mode = 0;
    n.address = {0xC0, 0xA8, 0x01, 0x0A}; n.subnet_mask = {0xFF, 0xFF, 0xFF, 0x00}; n.gateway = {0xC0, 0xA8, 0x01, 0x01};
    n.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    uint8_t config[49];
    char mac[18];
    std::memset(config, 0xAA, sizeof config); std::memset(mac, 0xAA, sizeof mac);
    const auto get = [&] { return GetIPConfiguration(reinterpret_cast<char*>(config), mac); };
    fw().refuse(8, 5, 2, 4, 1);  // a failed read writes nothing
    EXPECT_EQ(run(get, RC_DEVICE_STATUS), "Webserver Status is 1 \n<ERROR> GetIPConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(bytes_of(config, 49), Bytes(49, 0xAA));
    EXPECT_EQ(bytes_of(mac, 18), Bytes(18, 0xAA));

    EXPECT_EQ(run(get, RC_OK), "Webserver Status is 1 \nIP mode = 0 \nIPAddress = 192.168.1.10 \nSubnetMask = 255.255.255.0 \n"
                                "Gateway = 192.168.1.1 \nMAC Address = 0.1a.2b.3c.4d.5e \n");
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,2"}));
    const IPConfigRecord expected = record(0, "192.168.1.10", "255.255.255.0", "192.168.1.1");
    EXPECT_EQ(bytes_of(config, 49), bytes_of(&expected, 49));
    EXPECT_STREQ(mac, "0.1a.2b.3c.4d.5e");

    n.ip_mode = 1; n.address = {255, 255, 255, 255}; n.mac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // widest texts
    ASSERT_EQ(get(), RC_OK);
    EXPECT_EQ(config[0], 1);
    EXPECT_STREQ(reinterpret_cast<char*>(config + 1), "255.255.255.255");
    EXPECT_STREQ(mac, "ff.ff.ff.ff.ff.ff");
}

// The payload sent (bytes 7-19; 20-31 stay 0) and the caller's record afterwards, split in place.
TEST_F(Network, SetIPConfigurationPayloadAndRecordAfterwards) {
    const struct { IPConfigRecord before; Bytes payload; IPConfigRecord after; } cases[] = {
        // Mode 0 sends no addresses and leaves the texts unread.
        {record(0, "10.0.0.300", "255.0.0.0", "10.0.0.1"), {0}, record(0, "10.0.0.300", "255.0.0.0", "10.0.0.1")},
        {record(1, "10.0.0.300", "255.255.255.0", "10.0.0.1"), {1, 10, 0, 0, 44, 255, 255, 255, 0, 10, 0, 0, 1},
         record(1, S("10\0" "0\0" "0\0" "300", 10), S("255\0" "255\0" "255\0" "0", 13), S("10\0" "0\0" "0\0" "1", 8))},
        {record(1, "10.1", "", "..."), {1, 10, 1}, record(1, S("10\0" "1", 4), "", "...")},
        // A field filling its 16 bytes without a NUL is read as those 16 characters, no further.
        {record(1, "192.168.100.2001", "255.255.0.0", "1.1.1.1"), {1, 192, 168, 100, 0xD1, 255, 255, 0, 0, 1, 1, 1, 1},
         record(1, S("192\0" "168\0" "100\0" "2001", 16), S("255\0" "255\0" "0\0" "0", 11), S("1\0" "1\0" "1\0" "1", 7))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        IPConfigRecord rec = c.before;
        run([&] { return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)); }, RC_OK);
        EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "set 10,2"}));
        Bytes payload = c.payload;
        payload.resize(25, 0);
        EXPECT_EQ(Bytes(fw().requests().back().bytes.begin() + 7, fw().requests().back().bytes.end()), payload);
        EXPECT_EQ(bytes_of(&rec, sizeof rec), bytes_of(&c.after, sizeof rec));
    }
}

TEST(SplitIPV4, PartsAndTheTextCutInPlace) {
    const struct { S text; Bytes bytes; S after; } cases[] = {  // after empty: not checked
        {"-1.0.0.1", {255, 0, 0, 1}, {}},
        {"300.512.-256.65537", {44, 0, 0, 1}, {}},
        {" 7. +8.9x.4", {7, 8, 9, 4}, {}},
        {"a.b.c.d", {0, 0, 0, 0}, {}},
        {"..1..2", {1, 2, E, E}, S("..1\0" ".2", 6)},
        {"1.2.3.4.5.6", {1, 2, 3, 4}, S("1\0" "2\0" "3\0" "4\0" "5\0" "6", 11)},  // one part past the fourth is cut
        {"1.2.3", {1, 2, 3, E}, {}},
        {"", {E, E, E, E}, {}},
        {"....", {E, E, E, E}, "...."},
        {S("1.2\0.9.9", 8), {1, 2, E, E}, S("1\0" "2\0.9.9", 8)},  // stops at the text's NUL
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        S text = c.text;
        Bytes bytes(4, E);
        SplitIPV4(text.data(), bytes.data());
        EXPECT_EQ(bytes, c.bytes);
        if (!c.after.empty()) { EXPECT_EQ(text, c.after); }
    }
}

}  // namespace
}  // namespace qvtest
