// The simulated display's power, connectivity and maintenance settings. The switches are plain
// stored settings; this file gives their factory values, keeps the DisplayPort EDID and USB-C
// input settings to monitor type 2, and carries out the two actions: powering off the
// management processor, and the factory reset.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr int kPowerPage = 6;
constexpr int kProcessorOffItem = 6;
constexpr int kUsbCInputItem = 18;
constexpr int kDpEdidItem = 20;
constexpr int kResetPage = 11;
constexpr int kResetItem = 0;

// A reply with this status: the request's own bytes, as the display answers.
Reply answer(const Request& req, uint8_t status) {
    Reply reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = status;
    return reply;
}

// Every setting a host can change goes back to the value a new display of the same identity
// has; what the display keeps of its own (its counters, files, MAC, identity) stays.
void factory_reset(Firmware& fw) {
    Firmware factory(FirmwareConfig{fw.serial, fw.monitor_type, fw.state.guards.mode, fw.calibration_seconds}, fw.clock);
    for (const DisplaySetting* setting : fw.settings())
        if (setting->set.group >= 0 && setting->width != Width::action)
            fw.payload(setting->name) = factory.payload(setting->name);
    FamilyState& now = fw.state;
    const FamilyState& fresh = factory.state;
    now.colour.gains = fresh.colour.gains;
    now.colour.offsets = fresh.colour.offsets;
    now.inputs = fresh.inputs;
    const auto mac = now.network.mac;
    now.network = fresh.network;
    now.network.mac = mac;
    now.presets.user = fresh.presets.user;
    ++now.power.factory_resets;
}

bool type2_only(const Request& req) {
    return (req.opcode() == 8 || req.opcode() == 3) && req.group() == kPowerPage &&
           (req.item() == kUsbCInputItem || req.item() == kDpEdidItem);
}

}  // namespace

// What this display accepts on the power family's pages.
constexpr DisplaySetting kPowerSettings[] = {
    byte("auto-sleep", {6, 0}, {6, 0}).in(0, 1).starts(1),
    byte("power-on-recall", {6, 1}, {6, 1}).in(0, 1).starts(1),
    byte("ddc-ci", {6, 2}, {6, 2}).in(0, 1).starts(1),
    byte("auto-edid-update", {6, 3}, {6, 3}).in(0, 1).starts(1),
    byte("hot-plug-initiate", {6, 4}, {6, 4}).in(0, 1),
    byte("dp-hpd", {6, 5}, {6, 5}).in(0, 1).starts(1),
    action("internal-processor-power-off", {6, 6}),
    byte("firmware-update-status", {6, 14}, {6, 14}).in(0, 3),
    byte("user-preset-support", {6, 15}, {6, 15}).in(0, 1).starts(1),
    byte("management-menu-lock", none, {6, 16}).any(),
    byte("usb-c-input-config", {6, 18}, {6, 18}).in(0, 1),
    byte("dp-edid-config", {6, 20}, {6, 20}).in(0, 1),
    byte("usb-sleep", {6, 21}, {6, 21}).in(0, 1),
    byte("luminance-uniformity", {6, 22}, {6, 22}).in(0, 1).starts(1),
    action("factory-reset", {11, 0}),
};

void init_power(Firmware& /*fw*/) {}

bool handle_power(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32) return false;
    // Only type 2 displays have these settings; others answer as for any unknown setting.
    if (type2_only(req) && fw.monitor_type != 2) {
        reply = answer(req, 0xFF);
        return true;
    }
    if (req.is_set(kPowerPage, kProcessorOffItem)) {
        fw.state.power.processor_off = true;
        reply = answer(req, 0);
        return true;
    }
    if (req.is_set(kResetPage, kResetItem)) {
        factory_reset(fw);
        reply = answer(req, 0);
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(power, PowerState, kPowerSettings, init_power, handle_power);

}  // namespace qv::sim
