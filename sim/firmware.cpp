#include "sim/firmware.h"

#include <algorithm>
#include <stdexcept>

#include "sim/fw_families.h"

namespace qv::sim {

namespace {

using Handler = bool (*)(Firmware&, const Request&, Reply&);
constexpr Handler kFamilyHandlers[] = {
    handle_link, handle_guards, handle_colour, handle_inputs, handle_image,
    handle_markers, handle_pip, handle_presets, handle_power, handle_clock,
    handle_network, handle_identity, handle_buttons, handle_test_pattern, handle_transfer,
};

// The range the display itself enforces for a plain setting; the library checks first, so
// this refuses only what a host sends past the library.
bool value_acceptable(const SettingRow& row, const uint8_t* payload) {
    if (row.departure || row.kind == Kind::ACTION || (row.flags & F_NO_RANGE) != 0) return true;
    const int value = row.kind == Kind::S16
                          ? static_cast<int16_t>(payload[0] | (payload[1] << 8))
                          : static_cast<int>(payload[0]);
    if (value < row.low || value > row.high) return false;
    return row.step == 0 || value % row.step == 0;
}

}  // namespace

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
    : serial(std::move(config.serial)), monitor_type(config.monitor_type), clock(clk) {
    state.guards.mode = config.mode;
    init_link(*this);
    init_guards(*this);
    init_colour(*this);
    init_inputs(*this);
    init_image(*this);
    init_markers(*this);
    init_pip(*this);
    init_presets(*this);
    init_power(*this);
    init_clock(*this);
    init_network(*this);
    init_identity(*this);
    init_buttons(*this);
    init_test_pattern(*this);
    init_transfer(*this);
}

Payload& Firmware::payload(const SettingRow& row) { return store_[row_index(&row)]; }

Payload& Firmware::payload(std::string_view cli) {
    const SettingRow* row = find_row(cli);
    if (row == nullptr) throw std::invalid_argument("no setting named " + std::string(cli));
    return payload(*row);
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
    const SettingRow* row = get ? find_get_row(req.group(), req.item()) : find_set_row(req.group(), req.item());
    reply = echo(req.bytes.data(), 32);
    if (row == nullptr) {  // no such setting on this display
        reply.bytes[6] = 0xFF;
        return true;
    }
    Payload& stored = payload(*row);
    if (get) {
        std::copy(stored.begin(), stored.end(), reply.bytes.begin() + 7);
    } else if (!value_acceptable(*row, req.bytes.data() + 7)) {
        reply.bytes[6] = 1;
    } else if (row->kind != Kind::ACTION) {
        std::copy(req.bytes.begin() + 7, req.bytes.begin() + 32, stored.begin());
    }
    return true;
}

Reply Firmware::handle(const uint8_t* request, std::size_t length) {
    Reply reply = answer(request, length);
    if (after_request && length > 0) after_request(request[0]);
    return reply;
}

Reply Firmware::answer(const uint8_t* request, std::size_t length) {
    Request req;
    req.bytes.assign(request, request + length);
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
    for (Handler h : kFamilyHandlers)
        if ((answered = h(*this, req, reply))) break;
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
