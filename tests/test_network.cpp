// Network settings against the simulated display: the web-server and management preconditions
// and their place among the range checks, the IP configuration record, and SplitIPV4.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::Request;

using Strings = std::vector<std::string>;

class Network : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
    }
    void web(uint8_t server, uint8_t management) {
        fw().set_u8("web-server", server);
        fw().set_u8("ws-management", management);
    }
    // Runs f, returning its result code, what was printed, and leaving the requests in fw().
    int run(const std::function<int()>& f, std::string* printed = nullptr) {
        fw().clear_requests();
        int rc = 0;
        const std::string out = output_of([&] { rc = f(); });
        if (printed != nullptr) *printed = without_info_lines(out);
        return rc;
    }
    const Request& last() { return fw().requests().back(); }
};

IPConfigRecord record(uint8_t mode, const char* address, const char* mask, const char* gateway) {
    IPConfigRecord r;
    std::memset(&r, 0, sizeof r);
    r.ipMode = mode;
    std::strncpy(r.ipAddress, address, sizeof r.ipAddress);
    std::strncpy(r.subnetMask, mask, sizeof r.subnetMask);
    std::strncpy(r.gateway, gateway, sizeof r.gateway);
    return r;
}

std::vector<uint8_t> bytes_of(const void* p, std::size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return {b, b + n};
}

// ---------------------------------------------------------------- preconditions

struct Guarded {
    const char* name;
    std::function<int()> call;
};

std::vector<Guarded> web_server_guarded() {
    static uint8_t byte = 0;
    static IPConfigRecord rec;
    static char mac[18];
    return {
        {"GetIPConfiguration", [] { return GetIPConfiguration(reinterpret_cast<char*>(&rec), mac); }},
        {"SetIPConfiguration", [] {
             rec = record(1, "10.0.0.2", "255.0.0.0", "10.0.0.1");
             return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec));
         }},
        {"GetWSManagementStatus", [] { return GetWSManagementStatus(&byte); }},
        {"SetWSManagementStatus", [] { return SetWSManagementStatus(1); }},
        {"GetWSIdentifySupportStatus", [] { return GetWSIdentifySupportStatus(&byte); }},
        {"SetWSIdentifySupportStatus", [] { return SetWSIdentifySupportStatus(1); }},
    };
}

TEST_F(Network, WebServerOffRefusesAfterReadingOnlyTheSwitch) {
    web(0, 1);
    for (const Guarded& g : web_server_guarded()) {
        SCOPED_TRACE(g.name);
        std::string out;
        EXPECT_EQ(run(g.call, &out), RC_NOT_ALLOWED);
        EXPECT_EQ(sent(fw()), Strings{"get 5,0"});
        EXPECT_EQ(out, std::string("Webserver Status is 0 \n<ERROR> ") + g.name + ": Web Server status disabled.\n");
    }
}

TEST_F(Network, WebServerSwitchMustReadExactlyOne) {
    fw().payload("web-server")[0] = 2;  // past the library, as the display might hold it
    for (const Guarded& g : web_server_guarded()) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(run(g.call), RC_NOT_ALLOWED);
        EXPECT_EQ(sent(fw()), Strings{"get 5,0"});
    }
}

TEST_F(Network, UnreadableWebServerSwitchRefuses) {
    fw().refuse(8, 5, 0, 3);
    for (const Guarded& g : web_server_guarded()) {
        SCOPED_TRACE(g.name);
        std::string out;
        EXPECT_EQ(run(g.call, &out), RC_NOT_ALLOWED);
        EXPECT_EQ(sent(fw()), Strings{"get 5,0"});
        EXPECT_EQ(out, std::string("<ERROR> GetWebServerStatus: RegUsbApi Failed.\n<ERROR> ") + g.name +
                           ": Web Server status disabled.\n");
    }
}

TEST_F(Network, IdentifySupportSetterAlsoNeedsManagement) {
    web(1, 0);
    std::string out;
    EXPECT_EQ(run([] { return SetWSIdentifySupportStatus(1); }, &out), RC_NOT_ALLOWED);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,0", "get 5,3"}));
    EXPECT_EQ(out,
              "Webserver Status is 1 \nWebserver Status is 1 \nWS management status is 0 \n"
              "<ERROR> SetWSIdentifySupportStatus: Web managment status disabled.\n");

    // An unreadable management switch refuses the same way.
    web(1, 1);
    fw().refuse(8, 5, 3, 1);
    EXPECT_EQ(run([] { return SetWSIdentifySupportStatus(1); }, &out), RC_NOT_ALLOWED);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,0", "get 5,3"}));
    EXPECT_NE(out.find("<ERROR> GetWSManagementStatus: RegUsbApi Failed.\n"
                       "<ERROR> SetWSIdentifySupportStatus: Web managment status disabled.\n"),
              std::string::npos);

    // Reading the identify support needs only the web server.
    fw().clear_refusals();
    web(1, 0);
    fw().set_u8("ws-identify-support", 1);
    uint8_t v = 0;
    EXPECT_EQ(run([&] { return GetWSIdentifySupportStatus(&v); }, &out), RC_OK);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,4"}));
    EXPECT_EQ(out, "Webserver Status is 1 \nWS Identify support is 1 \n");
}

TEST_F(Network, IdentifySupportSetPrintsBothReadsBeforeItsOwn) {
    web(1, 1);
    std::string out;
    EXPECT_EQ(run([] { return SetWSIdentifySupportStatus(1); }, &out), RC_OK);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,0", "get 5,3", "set 10,4"}));
    EXPECT_EQ(out, "Webserver Status is 1 \nWebserver Status is 1 \nWS management status is 1 \n");
    EXPECT_EQ(fw().u8("ws-identify-support"), 1);
}

// Where each range check sits among the preconditions.
TEST_F(Network, OrderOfChecks) {
    struct Case {
        const char* what;
        uint8_t server, management;
        std::function<int()> call;
        int rc;
        Strings requests;
    };
    static IPConfigRecord rec;
    auto set_ip_mode_2 = [] {
        rec = record(2, "1.2.3.4", "255.0.0.0", "1.2.3.1");
        return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec));
    };
    const std::vector<Case> cases = {
        {"management range before web server (on)", 1, 1, [] { return SetWSManagementStatus(2); }, RC_INVALID_ARGUMENT, {}},
        {"management range before web server (off)", 0, 1, [] { return SetWSManagementStatus(2); }, RC_INVALID_ARGUMENT, {}},
        {"identify support range last", 1, 1, [] { return SetWSIdentifySupportStatus(2); }, RC_INVALID_ARGUMENT,
         {"get 5,0", "get 5,0", "get 5,3"}},
        {"identify support, web server off first", 0, 1, [] { return SetWSIdentifySupportStatus(2); }, RC_NOT_ALLOWED,
         {"get 5,0"}},
        {"identify support, management off first", 1, 0, [] { return SetWSIdentifySupportStatus(2); }, RC_NOT_ALLOWED,
         {"get 5,0", "get 5,0", "get 5,3"}},
        {"ip mode after web server (on)", 1, 1, set_ip_mode_2, RC_INVALID_ARGUMENT, {"get 5,0"}},
        {"ip mode after web server (off)", 0, 1, set_ip_mode_2, RC_NOT_ALLOWED, {"get 5,0"}},
        {"web server range, no precondition", 1, 1, [] { return SetWebServerStatus(2); }, RC_INVALID_ARGUMENT, {}},
        {"dashboard range, no precondition", 0, 0, [] { return SetDashboardSecurity(2); }, RC_INVALID_ARGUMENT, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        web(c.server, c.management);
        EXPECT_EQ(run(c.call), c.rc);
        EXPECT_EQ(sent(fw()), c.requests);
    }
}

TEST_F(Network, SetWebServerStatusPrintsTheValueBeforeChecking) {
    std::string out;
    EXPECT_EQ(run([] { return SetWebServerStatus(7); }, &out), RC_INVALID_ARGUMENT);
    EXPECT_EQ(out, "Trying to set value 7 \n<ERROR> SetWebServerStatus: Validation Failed.\n");
    EXPECT_TRUE(fw().requests().empty());

    EXPECT_EQ(run([] { return SetWebServerStatus(0); }, &out), RC_OK);
    EXPECT_EQ(out, "Trying to set value 0 \n");
    EXPECT_EQ(sent(fw()), Strings{"set 10,0"});
    EXPECT_EQ(last().bytes[7], 0);
    EXPECT_EQ(fw().u8("web-server"), 0);

    // Logging off: nothing at all.
    SetLog(0);
    EXPECT_EQ(run([] { return SetWebServerStatus(9); }, &out), RC_INVALID_ARGUMENT);
    EXPECT_EQ(out, "");
}

TEST_F(Network, SwitchesRoundTrip) {
    web(1, 1);
    uint8_t v = 9;
    EXPECT_EQ(SetWSManagementStatus(0), RC_OK);
    EXPECT_EQ(fw().u8("ws-management"), 0);
    EXPECT_EQ(SetWSManagementStatus(1), RC_OK);
    EXPECT_EQ(GetWSManagementStatus(&v), RC_OK);
    EXPECT_EQ(v, 1);

    EXPECT_EQ(SetWSIdentifySupportStatus(1), RC_OK);
    EXPECT_EQ(GetWSIdentifySupportStatus(&v), RC_OK);
    EXPECT_EQ(v, 1);

    // The dashboard security mode needs no web server.
    web(0, 0);
    std::string out;
    EXPECT_EQ(run([] { return SetDashboardSecurity(1); }), RC_OK);
    EXPECT_EQ(sent(fw()), Strings{"set 10,5"});
    EXPECT_EQ(std::vector<uint8_t>(last().bytes.begin() + 7, last().bytes.begin() + 9), (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(run([&] { return GetDashboardSecurityStatus(&v); }, &out), RC_OK);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(out, "Dash board security mode is 1 \n");
    EXPECT_EQ(sent(fw()), Strings{"get 5,5"});
}

TEST_F(Network, RefusedSwitchUsesTheFrameLine) {
    fw().refuse(3, 10, 3, 4);
    std::string out;
    EXPECT_EQ(run([] { return SetWSManagementStatus(1); }, &out), RC_DEVICE_STATUS);
    EXPECT_EQ(out, "Webserver Status is 1 \n<ERROR> SetWSManagementStatus: RegUsbApi Failed.\n");
}

// A host that skips the library's preconditions still finds the display refusing.
TEST_F(Network, DisplayRefusesNetworkPageWhileWebServerOff) {
    web(0, 1);
    for (const auto& [opcode, group, item] : std::vector<std::tuple<uint8_t, uint8_t, uint8_t>>{
             {8, 5, 2}, {3, 10, 2}, {8, 5, 3}, {3, 10, 3}, {8, 5, 4}, {3, 10, 4}}) {
        uint8_t packet[32] = {};
        packet[0] = opcode;
        packet[4] = group;
        packet[5] = item;
        packet[7] = 1;
        ASSERT_EQ(RegUsbApi(packet, 32), RC_OK);
        EXPECT_NE(packet[6], 0) << int(opcode) << " " << int(group) << "." << int(item);
    }
    EXPECT_EQ(fw().u8("ws-management"), 1);

    uint8_t packet[32] = {3, 0, 0, 0, 10, 4, 0, 1};  // identify support with management off
    web(1, 0);
    ASSERT_EQ(RegUsbApi(packet, 32), RC_OK);
    EXPECT_NE(packet[6], 0);
    EXPECT_EQ(fw().u8("ws-identify-support"), 0);
}

// ---------------------------------------------------------------- IP configuration

TEST_F(Network, GetIPConfigurationReplyLayout) {
    auto& n = fw().state.network;
    n.ip_mode = 0;
    n.address = {0xC0, 0xA8, 0x01, 0x0A};
    n.subnet_mask = {0xFF, 0xFF, 0xFF, 0x00};
    n.gateway = {0xC0, 0xA8, 0x01, 0x01};
    n.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

    uint8_t config[49];
    char mac[18];
    std::memset(config, 0xAA, sizeof config);
    std::memset(mac, 0xAA, sizeof mac);
    std::string out;
    EXPECT_EQ(run([&] { return GetIPConfiguration(reinterpret_cast<char*>(config), mac); }, &out), RC_OK);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "get 5,2"}));

    const IPConfigRecord expected = record(0, "192.168.1.10", "255.255.255.0", "192.168.1.1");
    EXPECT_EQ(bytes_of(config, 49), bytes_of(&expected, 49));
    EXPECT_STREQ(mac, "0.1a.2b.3c.4d.5e");
    EXPECT_EQ(out,
              "Webserver Status is 1 \nIP mode = 0 \nIPAddress = 192.168.1.10 \nSubnetMask = 255.255.255.0 \n"
              "Gateway = 192.168.1.1 \nMAC Address = 0.1a.2b.3c.4d.5e \n");

    // The widest texts still fit their fields.
    n.ip_mode = 1;
    n.address = {255, 255, 255, 255};
    n.mac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(GetIPConfiguration(reinterpret_cast<char*>(config), mac), RC_OK);
    EXPECT_EQ(config[0], 1);
    EXPECT_STREQ(reinterpret_cast<char*>(config + 1), "255.255.255.255");
    EXPECT_STREQ(mac, "ff.ff.ff.ff.ff.ff");
}

TEST_F(Network, FailedGetIPConfigurationWritesNothing) {
    uint8_t config[49];
    char mac[18];
    std::memset(config, 0xAA, sizeof config);
    std::memset(mac, 0xAA, sizeof mac);
    fw().refuse(8, 5, 2, 4);
    std::string out;
    EXPECT_EQ(run([&] { return GetIPConfiguration(reinterpret_cast<char*>(config), mac); }, &out), RC_DEVICE_STATUS);
    EXPECT_EQ(out, "Webserver Status is 1 \n<ERROR> GetIPConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(bytes_of(config, 49), std::vector<uint8_t>(49, 0xAA));
    EXPECT_EQ(bytes_of(mac, 18), std::vector<uint8_t>(18, 0xAA));

    web(0, 1);
    EXPECT_EQ(run([&] { return GetIPConfiguration(reinterpret_cast<char*>(config), mac); }), RC_NOT_ALLOWED);
    EXPECT_EQ(bytes_of(config, 49), std::vector<uint8_t>(49, 0xAA));
}

std::vector<uint8_t> payload_of(const Request& r) { return {r.bytes.begin() + 7, r.bytes.begin() + 26}; }

TEST_F(Network, SetIPConfigurationModeZeroSendsNoAddresses) {
    IPConfigRecord rec = record(0, "10.0.0.300", "255.0.0.0", "10.0.0.1");
    const IPConfigRecord before = rec;
    EXPECT_EQ(run([&] { return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)); }), RC_OK);
    EXPECT_EQ(sent(fw()), (Strings{"get 5,0", "set 10,2"}));
    EXPECT_EQ(payload_of(last()), std::vector<uint8_t>(19, 0));
    EXPECT_EQ(bytes_of(&rec, 49), bytes_of(&before, 49));  // texts not read, so not cut
    EXPECT_EQ(fw().state.network.ip_mode, 0);
}

TEST_F(Network, SetIPConfigurationSendsAddressesAndKeepsTheMac) {
    IPConfigRecord rec = record(1, "10.0.0.300", "255.255.255.0", "10.0.0.1");
    EXPECT_EQ(run([&] { return SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)); }), RC_OK);
    EXPECT_EQ(payload_of(last()), (std::vector<uint8_t>{1, 10, 0, 0, 44, 255, 255, 255, 0, 10, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(last().bytes.begin() + 26, last().bytes.end(), [](uint8_t b) { return b == 0; }));

    // Each text comes back split in place: cut after its first part.
    IPConfigRecord cut;
    std::memset(&cut, 0, sizeof cut);
    cut.ipMode = 1;
    std::memcpy(cut.ipAddress, "10\0" "0\0" "0\0" "300", 10);
    std::memcpy(cut.subnetMask, "255\0" "255\0" "255\0" "0", 13);
    std::memcpy(cut.gateway, "10\0" "0\0" "0\0" "1", 8);
    EXPECT_EQ(bytes_of(&rec, 49), bytes_of(&cut, 49));
    EXPECT_STREQ(rec.ipAddress, "10");

    uint8_t config[49];
    char mac[18];
    ASSERT_EQ(GetIPConfiguration(reinterpret_cast<char*>(config), mac), RC_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(config + 1), "10.0.0.44");
    EXPECT_STREQ(reinterpret_cast<char*>(config + 33), "10.0.0.1");
    EXPECT_STREQ(mac, "0.1a.2b.3c.4d.5e");
}

TEST_F(Network, SetIPConfigurationWithShortOrMissingAddresses) {
    IPConfigRecord rec = record(1, "10.1", "", "...");
    ASSERT_EQ(SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)), RC_OK);
    EXPECT_EQ(payload_of(last()), (std::vector<uint8_t>{1, 10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A field filled to its 16 bytes without a NUL is read as its 16 characters and the next
    // field is left alone.
    rec = record(1, "", "255.255.0.0", "1.1.1.1");
    std::memcpy(rec.ipAddress, "192.168.100.2001", 16);
    ASSERT_EQ(SetIPConfiguration(reinterpret_cast<uint8_t*>(&rec)), RC_OK);
    EXPECT_EQ(payload_of(last()), (std::vector<uint8_t>{1, 192, 168, 100, 0xD1, 255, 255, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(rec.subnetMask, 11), std::string("255\0" "255\0" "0\0" "0", 11));
}

// ---------------------------------------------------------------- SplitIPV4

TEST(SplitIPV4, Parts) {
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;  // 0xEE: not written
    };
    const std::vector<Case> cases = {
        {"192.168.1.10", {192, 168, 1, 10}},
        {"10.0.0.300", {10, 0, 0, 44}},
        {"-1.0.0.1", {255, 0, 0, 1}},
        {"256.512.-256.65537", {0, 0, 0, 1}},
        {" 7. +8.9x.4", {7, 8, 9, 4}},
        {"a.b.c.d", {0, 0, 0, 0}},
        {"..1...2..3.4.", {1, 2, 3, 4}},
        {"1.2.3.4.5", {1, 2, 3, 4}},
        {"1.2.3", {1, 2, 3, 0xEE}},
        {"5", {5, 0xEE, 0xEE, 0xEE}},
        {"", {0xEE, 0xEE, 0xEE, 0xEE}},
        {"....", {0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char text[32];
        std::strcpy(text, c.text);
        uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        SplitIPV4(text, bytes);
        EXPECT_EQ(bytes_of(bytes, 4), c.bytes);
    }
}

TEST(SplitIPV4, CutsTheTextInPlace) {
    struct Case {
        std::string text, after;
    };
    const std::vector<Case> cases = {
        {"10.0.0.300", std::string("10\0" "0\0" "0\0" "300", 10)},
        {"..1..2", std::string("..1\0" ".2", 6)},
        {"1.2.3.4.5.6", std::string("1\0" "2\0" "3\0" "4\0" "5\0" "6", 11)},  // one part past the fourth is taken
        {"....", "...."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> text(c.text.begin(), c.text.end());
        text.push_back('\0');
        uint8_t bytes[4] = {};
        SplitIPV4(text.data(), bytes);
        EXPECT_EQ(std::string(text.data(), c.text.size()), c.after);
    }
}

TEST(SplitIPV4, StopsAtTheEndOfTheText) {
    char text[] = "1.2\0.9.9";  // what follows the NUL is not the text's
    uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    SplitIPV4(text, bytes);
    EXPECT_EQ(bytes_of(bytes, 4), (std::vector<uint8_t>{1, 2, 0xEE, 0xEE}));
    EXPECT_EQ(std::string(text + 4, 4), ".9.9");
}

}  // namespace
}  // namespace qvtest
