// The simulated display's bezel buttons, function buttons and on-screen notices. All plain
// stored settings; this file gives their factory values and refuses a function-button action
// the display does not have.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr int kFunctionButtonPage = 8;
constexpr int kLastAction = 18;

}  // namespace

void init_buttons(Firmware& fw) {
    fw.set_u8("bezel-button-color", 0);
    fw.set_u8("bezel-button-brightness", 50);
    fw.set_u8("bezel-button-auto-fade", 1);
    fw.set_u8("function-button-mode", 0);
    fw.set_s16("function-button-1", 1);
    fw.set_s16("function-button-2", 2);
    fw.set_s16("function-button-3", 3);
    fw.set_s16("function-button-4", 4);
    fw.set_u8("show-power-on-info", 1);
    fw.set_u8("show-input-source-info", 1);
    fw.set_u8("show-color-space-info", 1);
    fw.set_u8("show-warmup-reminder", 1);
    fw.set_u8("show-calibration-notification", 1);
}

bool handle_buttons(Firmware& /*fw*/, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32 || req.opcode() != 3 || req.group() != kFunctionButtonPage ||
        req.item() > 3)
        return false;
    const auto action = static_cast<int16_t>(req.bytes[7] | (req.bytes[8] << 8));
    if (action >= 0 && action <= kLastAction) return false;  // the store takes it
    reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = 1;
    return true;
}

}  // namespace qv::sim
