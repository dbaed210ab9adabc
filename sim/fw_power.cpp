// The simulated display's power, connectivity and maintenance settings. The switches are plain
// stored settings; this file gives their factory values, keeps the DisplayPort EDID and USB-C
// input settings to monitor type 2, and carries out the two actions.
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

bool type2_only(const Request& req) {
    return (req.opcode() == 8 || req.opcode() == 3) && req.group() == kPowerPage &&
           (req.item() == kUsbCInputItem || req.item() == kDpEdidItem);
}

}  // namespace

void init_power(Firmware& fw) {
    fw.set_u8("auto-sleep", 1);
    fw.set_u8("power-on-recall", 1);
    fw.set_u8("ddc-ci", 1);
    fw.set_u8("auto-edid-update", 1);
    fw.set_u8("hot-plug-initiate", 0);
    fw.set_u8("dp-hpd", 1);
    fw.set_u8("firmware-update-status", 0);
    fw.set_u8("user-preset-support", 1);
    fw.set_u8("management-menu-lock", 0);
    fw.set_u8("usb-c-input-config", 0);
    fw.set_u8("dp-edid-config", 0);
    fw.set_u8("usb-sleep", 0);
    fw.set_u8("luminance-uniformity", 1);
}

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
        // Every setting of the display's own menus goes back to its factory value.
        ++fw.state.power.factory_resets;
        init_power(fw);
        init_clock(fw);
        init_buttons(fw);
        reply = answer(req, 0);
        return true;
    }
    return false;
}

}  // namespace qv::sim
