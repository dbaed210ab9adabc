// The simulated display's mode reports: the display-mode text of the main picture and the
// source resolution of the picture-in-picture window. PIP on/off is a stored setting.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

std::string mode_text(const std::string& mode) {
    if (mode == "none") return "No Signal";
    const auto x = mode.find('x');
    if (x == std::string::npos) return mode;
    return mode.substr(0, x) + " x " + mode.substr(x + 1) + " @ 60Hz";
}

// What this display accepts on the guards family's pages.
constexpr DisplaySetting kGuardsSettings[] = {
    record("display-mode", {10, 1}, none),
    byte("pip", {4, 0}, {3, 0}).in(0, 1),
    record("pip-resolution", {4, 27}, none),
};

void init_guards(Firmware& /*fw*/) {}

bool handle_guards(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    if (req.is_get(10, 1)) {
        const GuardsState& g = fw.state.guards;
        const std::string text = g.raw_mode_text.empty() ? mode_text(g.mode) : g.raw_mode_text;
        reply = echo(req.bytes.data(), 32);
        std::fill(reply.bytes.begin() + 7, reply.bytes.end(), 0);
        std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 25), reply.bytes.begin() + 7);
        return true;
    }
    if (req.is_get(4, 27)) {
        reply = echo(req.bytes.data(), 32);
        std::fill(reply.bytes.begin() + 7, reply.bytes.end(), 0);
        put_le16(reply.bytes, 7, static_cast<uint16_t>(fw.state.guards.pip_height));
        put_le16(reply.bytes, 9, static_cast<uint16_t>(fw.state.guards.pip_width));
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(guards, GuardsState, kGuardsSettings, init_guards, handle_guards);

}  // namespace qv::sim
