// The simulated display's identity: hour counters that grow with simulated time, the firmware
// revision, the four information strings (their own 103-byte packet, opcode 20) and the status
// readouts (stored settings).
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr uint64_t kHourUs = 3600ull * 1000 * 1000;
constexpr uint8_t kOpInfoString = 20;
constexpr std::size_t kInfoPacketSize = 103;
constexpr std::size_t kInfoText = 3;

// Adds the whole simulated hours passed since the last reading to both counters (16 bits,
// wrapping like the display's own).
void count_hours(Firmware& fw) {
    IdentityState& s = fw.state.identity;
    const uint64_t now = fw.clock.now_us();
    if (now < s.hours_counted_until_us) s.hours_counted_until_us = now;
    const uint64_t hours = (now - s.hours_counted_until_us) / kHourUs;
    if (hours == 0) return;
    s.hours_counted_until_us += hours * kHourUs;
    for (const char* cli : {"calibration-hours", "backlight-hours"}) {
        const auto grown = static_cast<uint16_t>(static_cast<uint16_t>(fw.s16(cli)) + hours);
        fw.set_s16(cli, static_cast<int16_t>(grown));
    }
}

Reply info_string(const Firmware& fw, const Request& req) {
    Reply r;
    r.bytes.assign(kInfoPacketSize, 0);
    std::copy_n(req.bytes.begin(), std::min(req.bytes.size(), kInfoPacketSize), r.bytes.begin());
    const uint8_t selector = req.bytes[2];
    std::fill(r.bytes.begin() + kInfoText, r.bytes.end(), 0);
    if (selector >= fw.state.identity.info.size()) {
        r.bytes[1] = 1;
        return r;
    }
    r.bytes[1] = 0;
    const std::string& text = fw.state.identity.info[selector];
    std::copy_n(text.begin(), std::min(text.size(), kInfoPacketSize - kInfoText), r.bytes.begin() + kInfoText);
    return r;
}

}  // namespace

// What this display accepts on the identity family's pages.
constexpr DisplaySetting kIdentitySettings[] = {
    word("calibration-hours", {10, 10}, none).starts(120),
    word("backlight-hours", {10, 11}, none).starts(5310),
    record("firmware-revision", {11, 1}, none),
    byte("color-management-engine", {17, 1}, none).starts(1),
    byte("dithering-mode", {17, 2}, none).starts(1),
    byte("calibration-alert-limit", {17, 3}, none).starts(3),
};

void init_identity(Firmware& /*fw*/) {}

bool handle_identity(Firmware& fw, const Request& req, Reply& reply) {
    if (req.opcode() == kOpInfoString && req.bytes.size() > 2) {
        reply = info_string(fw, req);
        return true;
    }
    if (req.bytes.size() < 32) return false;
    if (req.is_get(10, 10) || req.is_get(10, 11)) {
        count_hours(fw);
        return false;  // the table serves the stored counter
    }
    if (req.is_get(11, 1)) {
        const std::string& rev = fw.state.identity.firmware_revision;
        reply = echo(req.bytes.data(), 32);
        std::fill(reply.bytes.begin() + 7, reply.bytes.end(), 0);
        std::copy_n(rev.begin(), std::min<std::size_t>(rev.size(), 25), reply.bytes.begin() + 7);
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(identity, IdentityState, kIdentitySettings, init_identity, handle_identity);

}  // namespace qv::sim
