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

// What this display accepts on the buttons family's pages.
constexpr DisplaySetting kButtonsSettings[] = {
    byte("bezel-button-color", {9, 0}, {9, 0}).in(0, 2),
    byte("bezel-button-brightness", {9, 1}, {9, 1}).in(0, 100).step_of(10).starts(50),
    byte("bezel-button-auto-fade", {9, 2}, {9, 2}).in(0, 1).starts(1),
    record("function-button-1", {8, 0}, {8, 0}),
    record("function-button-2", {8, 1}, {8, 1}),
    record("function-button-3", {8, 2}, {8, 2}),
    record("function-button-4", {8, 3}, {8, 3}),
    byte("function-button-mode", {8, 4}, {8, 4}).in(0, 1),
    byte("show-power-on-info", {7, 3}, {7, 3}).in(0, 1).starts(1),
    byte("show-input-source-info", {7, 4}, {7, 4}).in(0, 1).starts(1),
    byte("show-color-space-info", {7, 5}, {7, 5}).in(0, 1).starts(1),
    byte("show-warmup-reminder", {7, 6}, {7, 6}).in(0, 1).starts(1),
    byte("show-calibration-notification", {7, 7}, {7, 7}).in(0, 1).starts(1),
};

void init_buttons(Firmware& fw) {
    fw.set_s16("function-button-1", 1);
    fw.set_s16("function-button-2", 2);
    fw.set_s16("function-button-3", 3);
    fw.set_s16("function-button-4", 4);
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

QV_FIRMWARE_FAMILY(buttons, NoState, kButtonsSettings, init_buttons, handle_buttons);

}  // namespace qv::sim
