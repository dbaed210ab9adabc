// The simulated display's network settings: the web-server and web-service switches are stored
// settings; the IP configuration is kept here, with the display's own MAC. While the web server
// is off the display refuses its network page (a host that follows the rules never asks then).
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr int kGetGroup = 5;
constexpr int kSetGroup = 10;
constexpr int kIpConfig = 2;
constexpr int kManagement = 3;
constexpr int kIdentifySupport = 4;

Reply refused(const Request& req, uint8_t status) {
    Reply r = echo(req.bytes.data(), req.bytes.size());
    r.bytes[6] = status;
    return r;
}

Reply ip_config_reply(const Request& req, const NetworkState& n) {
    Reply r = echo(req.bytes.data(), 32);
    std::fill(r.bytes.begin() + 7, r.bytes.end(), 0);
    r.bytes[7] = n.ip_mode;
    std::copy(n.address.begin(), n.address.end(), r.bytes.begin() + 8);
    std::copy(n.subnet_mask.begin(), n.subnet_mask.end(), r.bytes.begin() + 12);
    std::copy(n.gateway.begin(), n.gateway.end(), r.bytes.begin() + 16);
    std::copy(n.mac.begin(), n.mac.end(), r.bytes.begin() + 20);
    return r;
}

// A set of the IP configuration: mode at byte 7, addresses at 8-19 (0 with mode 0, when the
// display keeps the addresses it has). Bytes 20-25 are not the host's to write.
Reply ip_config_set(const Request& req, NetworkState& n) {
    const uint8_t mode = req.bytes[7];
    if (mode > 1) return refused(req, 1);
    n.ip_mode = mode;
    if (mode != 0) {
        std::copy_n(req.bytes.begin() + 8, 4, n.address.begin());
        std::copy_n(req.bytes.begin() + 12, 4, n.subnet_mask.begin());
        std::copy_n(req.bytes.begin() + 16, 4, n.gateway.begin());
    }
    return echo(req.bytes.data(), 32);
}

}  // namespace

// What this display accepts on the network family's pages.
constexpr DisplaySetting kNetworkSettings[] = {
    byte("web-server", {5, 0}, {10, 0}).in(0, 1).starts(1),
    record("ip-config", {5, 2}, {10, 2}),
    byte("ws-management", {5, 3}, {10, 3}).in(0, 1).starts(1),
    byte("ws-identify-support", {5, 4}, {10, 4}).in(0, 1),
    byte("dashboard-security", {5, 5}, {10, 5}).in(0, 1),
};

void init_network(Firmware& /*fw*/) {}

bool handle_network(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    const bool get = req.opcode() == 8 && req.group() == kGetGroup;
    const bool set = req.opcode() == 3 && req.group() == kSetGroup;
    if (!get && !set) return false;
    const int item = req.item();
    if (item != kIpConfig && item != kManagement && item != kIdentifySupport) return false;

    if (fw.u8("web-server") != 1) {
        reply = refused(req, kWebServiceOffStatus);
        return true;
    }
    if (set && item == kIdentifySupport && fw.u8("ws-management") != 1) {
        reply = refused(req, kWebServiceOffStatus);
        return true;
    }
    if (item != kIpConfig) return false;  // a stored setting: the table serves it
    reply = get ? ip_config_reply(req, fw.state.network) : ip_config_set(req, fw.state.network);
    return true;
}

QV_FIRMWARE_FAMILY(network, NetworkState, kNetworkSettings, init_network, handle_network);

}  // namespace qv::sim
