// The simulated display's video inputs and USB binding.
//
// Input names travel in an 18-byte record (input number, name type, 15 bytes of custom name,
// custom-name status) that lies at bytes 7-24 of the get (group 2, item 2) and at bytes 8-25 of
// the set (group 1, item 2, whose byte 7 repeats the input number). The USB binding configuration
// (group 1, item 4) is served only while the port binding status is 3.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr std::size_t kInputs = 5;
constexpr uint8_t kMaxNameType = 11;
constexpr uint8_t kBindingEnabled = 3;

Reply refused(const Request& req, uint8_t status = 1) {
    Reply r = echo(req.bytes.data(), 32);
    r.bytes[6] = status;
    return r;
}

Reply get_name(Firmware& fw, const Request& req) {
    const uint8_t input = req.bytes[7];
    if (input >= kInputs) return refused(req);
    const InputName& n = fw.state.inputs.names[input];
    Reply r = echo(req.bytes.data(), 32);
    std::fill(r.bytes.begin() + 7, r.bytes.end(), 0);
    r.bytes[7] = input;
    r.bytes[8] = n.type;
    std::copy(n.custom.begin(), n.custom.end(), r.bytes.begin() + 9);
    r.bytes[24] = n.custom_status;
    return r;
}

Reply set_name(Firmware& fw, const Request& req) {
    const uint8_t input = req.bytes[7];
    const uint8_t type = req.bytes[9];
    if (input >= kInputs || req.bytes[8] != input || type > kMaxNameType) return refused(req);
    InputName& n = fw.state.inputs.names[input];
    n.type = type;
    std::copy_n(req.bytes.begin() + 10, n.custom.size(), n.custom.begin());
    n.custom_status = req.bytes[25];
    return echo(req.bytes.data(), 32);
}

Reply binding_configuration(Firmware& fw, const Request& req) {
    if (fw.u8("usb-port-binding") != kBindingEnabled) return refused(req);
    Payload& stored = fw.payload("usb-binding");
    Reply r = echo(req.bytes.data(), 32);
    if (req.opcode() == 8) {
        std::fill(r.bytes.begin() + 7, r.bytes.end(), 0);
        r.bytes[7] = stored[0];
        r.bytes[8] = stored[1];
    } else if (req.bytes[7] > 3 || req.bytes[8] > 4) {
        r.bytes[6] = 1;
    } else {
        stored[0] = req.bytes[7];
        stored[1] = req.bytes[8];
    }
    return r;
}

}  // namespace

// What this display accepts on the inputs family's pages.
constexpr DisplaySetting kInputsSettings[] = {
    byte("video-input", {1, 0}, {1, 0}).in(0, 4),
    byte("auto-switch", {1, 1}, {1, 1}).in(0, 1).starts(1),
    byte("usb-port-binding", {1, 3}, {1, 3}).in(0, 3),
    record("input-name", {2, 2}, {1, 2}),
    record("usb-binding", {1, 4}, {1, 4}),
};

void init_inputs(Firmware& fw) {
    fw.payload("usb-binding")[0] = 1;
    fw.payload("usb-binding")[1] = 2;
}

bool handle_inputs(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    if (req.is_get(2, 2)) {
        reply = get_name(fw, req);
        return true;
    }
    if (req.is_set(1, 2)) {
        reply = set_name(fw, req);
        return true;
    }
    if (req.is_get(1, 4) || req.is_set(1, 4)) {
        reply = binding_configuration(fw, req);
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(inputs, InputsState, kInputsSettings, init_inputs, handle_inputs);

}  // namespace qv::sim
