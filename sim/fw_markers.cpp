// The simulated display's markers. The marker records are stored settings laid out alike for
// get and set (byte 7 clear, bytes 8-18 the eleven switches); a set with byte 7 = 1 switches
// every marker off instead of storing the record, and a record read back never asks to clear.
#include <algorithm>
#include <string_view>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

// What this display accepts on the markers family's pages.
constexpr DisplaySetting kMarkersSettings[] = {
    record("markers", {3, 10}, {2, 10}),
    byte("marker-color", {3, 22}, {2, 22}).in(0, 6),
    record("pip-markers", {4, 10}, {3, 10}),
    byte("pip-marker-color", {4, 22}, {3, 22}).in(0, 6),
};

void init_markers(Firmware& /*fw*/) {}

bool handle_markers(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32 || req.opcode() != 3) return false;
    const DisplaySetting* setting = fw.setting_for_set(req.group(), req.item());
    const std::string_view name = setting != nullptr ? setting->name : "";
    if (name != "markers" && name != "pip-markers") return false;
    Payload& record = fw.payload(setting->name);
    record = {};
    if (req.bytes[7] == 0) std::copy(req.bytes.begin() + 8, req.bytes.begin() + 19, record.begin() + 1);
    reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = 0;
    return true;
}

QV_FIRMWARE_FAMILY(markers, NoState, kMarkersSettings, init_markers, handle_markers);

}  // namespace qv::sim
