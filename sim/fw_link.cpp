// The simulated display's identity as discovery reads it: serial number and monitor type.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

// What this display accepts on the link family's pages.
constexpr DisplaySetting kLinkSettings[] = {
    record("serial-number", {11, 0}, none),
    record("monitor-type", {20, 0}, none),
};

void init_link(Firmware& /*fw*/) {}

bool handle_link(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    if (req.is_get(11, 0)) {  // serial number: 10 characters at bytes 7-16
        reply = echo(req.bytes.data(), 32);
        std::fill(reply.bytes.begin() + 7, reply.bytes.end(), 0);
        std::copy_n(fw.serial.begin(), std::min<std::size_t>(fw.serial.size(), 10), reply.bytes.begin() + 7);
        return true;
    }
    if (req.is_get(20, 0)) {  // monitor type
        reply = echo(req.bytes.data(), 32);
        std::fill(reply.bytes.begin() + 7, reply.bytes.end(), 0);
        reply.bytes[7] = fw.monitor_type;
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(link, NoState, kLinkSettings, init_link, handle_link);

}  // namespace qv::sim
