#include "sim/firmware.h"

#include <algorithm>
#include <stdexcept>

#include "sim/family_list.h"  // kFamilies: written by the build from the firmware files
#include "sim/fw_families.h"

namespace qv::sim {

std::size_t status_position(uint8_t opcode) {
    switch (opcode) {
        case 3: case 8: case 16: case 17: case 18: case 35:
            return 6;
        default:  // 36 and the 2-, 103-, 122- and 184-byte packets
            return 1;
    }
}

Reply echo(const uint8_t* request, std::size_t length) {
    Reply r;
    r.bytes.assign(request, request + length);
    return r;
}

Firmware::Firmware(FirmwareConfig config, Clock& clk)
    : serial(std::move(config.serial)),
      monitor_type(config.monitor_type),
      calibration_seconds(config.calibration_seconds),
      clock(clk) {
    state.guards.mode = config.mode;
    for (const FamilyFirmware* family : kFamilies)
        for (const DisplaySetting& setting : family->settings) {
            settings_.push_back(&setting);
            store_[setting.name].fill(0);
            set_s16(setting.name, setting.initial);
        }
    for (const FamilyFirmware* family : kFamilies) family->init(*this);
    state.transfer.faults.refuse_chunk = config.refuse_chunk;
}

bool DisplaySetting::accepts(const uint8_t* p) const {
    if (!checked) return true;
    const int value = width == Width::word ? static_cast<int16_t>(p[0] | (p[1] << 8)) : static_cast<int>(p[0]);
    if (value < low || value > high) return false;
    return step == 0 || value % step == 0;
}

Payload& Firmware::payload(std::string_view cli) {
    const auto it = store_.find(cli);
    if (it == store_.end()) throw std::invalid_argument("this display has no setting named " + std::string(cli));
    return it->second;
}

const DisplaySetting* Firmware::setting_for_get(int group, int item) const {
    for (const DisplaySetting* s : settings_)
        if (s->get.is(group, item)) return s;
    return nullptr;
}

const DisplaySetting* Firmware::setting_for_set(int group, int item) const {
    for (const DisplaySetting* s : settings_)
        if (s->set.is(group, item)) return s;
    return nullptr;
}

int16_t Firmware::s16(std::string_view cli) {
    const Payload& p = payload(cli);
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

void Firmware::set_u8(std::string_view cli, uint8_t v) { payload(cli)[0] = v; }

void Firmware::set_s16(std::string_view cli, int16_t v) {
    Payload& p = payload(cli);
    p[0] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFFu);
    p[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

void Firmware::refuse(int opcode, int group, int item, uint8_t status, int times) {
    refusals_.push_back({opcode, group, item, status, times});
}

std::size_t Firmware::count_requests(int opcode, int group, int item) const {
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) {
        return r.opcode() == opcode && (group < 0 || r.group() == group) && (item < 0 || r.item() == item);
    }));
}

bool Firmware::handle_table(const Request& req, Reply& reply) {
    if (req.bytes.size() < 32 || (req.opcode() != 8 && req.opcode() != 3)) return false;
    const bool get = req.opcode() == 8;
    const DisplaySetting* setting = get ? setting_for_get(req.group(), req.item()) : setting_for_set(req.group(), req.item());
    reply = echo(req.bytes.data(), 32);
    if (setting == nullptr) {  // no such setting on this display
        reply.bytes[6] = 0xFF;
        return true;
    }
    Payload& stored = payload(setting->name);
    if (get) {
        std::copy(stored.begin(), stored.end(), reply.bytes.begin() + 7);
    } else if (!setting->accepts(req.bytes.data() + 7)) {
        reply.bytes[6] = 1;
    } else if (setting->width != Width::action) {
        std::copy(req.bytes.begin() + 7, req.bytes.begin() + 32, stored.begin());
    }
    return true;
}

Reply Firmware::handle(const uint8_t* request, std::size_t length) {
    const auto not_kept = [&](Reply reply) {
        const std::size_t at = status_position(request[0]);
        if (at < reply.bytes.size()) reply.bytes[at] = kNotKeptStatus;
        return reply;
    };
    if (length > 0 && before_request && !before_request(request, length)) return not_kept(echo(request, length));
    Reply reply = answer(request, length);
    if (length > 0 && after_request && !after_request(request, length)) reply = not_kept(std::move(reply));
    return reply;
}

Reply Firmware::answer(const uint8_t* request, std::size_t length) {
    Request req;
    req.bytes.assign(request, request + length);
    if (requests_.size() == kRequestRecord) requests_.pop_front();
    requests_.push_back(req);
    if (length == 0) return {};

    for (auto it = refusals_.begin(); it != refusals_.end(); ++it) {
        if (it->opcode != req.opcode()) continue;
        if (it->group >= 0 && it->group != req.group()) continue;
        if (it->item >= 0 && it->item != req.item()) continue;
        Reply reply = echo(request, length);
        const std::size_t at = status_position(req.opcode());
        if (at < reply.bytes.size()) reply.bytes[at] = it->status;
        if (it->times > 0 && --it->times == 0) refusals_.erase(it);
        return reply;
    }

    Reply reply;
    bool answered = false;
    for (const FamilyFirmware* family : kFamilies)
        if ((answered = family->handle(*this, req, reply))) break;
    if (!answered && !handle_table(req, reply)) {
        // An opcode this display does not know.
        reply = echo(request, length);
        const std::size_t at = status_position(req.opcode());
        if (at < reply.bytes.size()) reply.bytes[at] = 0xFF;
    }
    reply.delay_us += reply_delay_us;
    return reply;
}

}  // namespace qv::sim
