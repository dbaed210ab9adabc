// The simulated display's colour settings: the texts and records the plain store cannot serve
// (colour-space and gamma names, the primaries record, the preset-name packet) and the RGB
// adjustment, whose six values the display range-checks itself.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr uint8_t kOpPresetNames = 22;
constexpr std::size_t kPresetNamePacket = 122;
constexpr std::size_t kPresetNameField = 15;

void put_text(std::vector<uint8_t>& b, std::size_t at, std::size_t field, const std::string& text) {
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + field), 0);
    std::copy_n(text.begin(), std::min(text.size(), field), b.begin() + static_cast<std::ptrdiff_t>(at));
}

Reply settings_reply(const Request& req) {
    Reply r = echo(req.bytes.data(), 32);
    std::fill(r.bytes.begin() + 7, r.bytes.end(), 0);
    return r;
}

bool rgb_value_ok(const uint8_t* p) {
    const auto v = static_cast<int16_t>(p[0] | (p[1] << 8));
    return v >= 0 && v <= 1023;
}

std::string current_colour_space_name(Firmware& fw) {
    const ColourState& c = fw.state.colour;
    if (!c.colour_space_name.empty()) return c.colour_space_name;
    const uint8_t index = fw.u8("color-space");
    if (index < 1 || index > c.preset_names.size()) return {};
    return c.preset_names[index - 1u];
}

}  // namespace

// What this display accepts on the colour family's pages.
constexpr DisplaySetting kColourSettings[] = {
    word("luminance", {0, 0}, {0, 0}).in(48, 250).starts(120),
    byte("color-space", {0, 1}, {0, 1}).in(1, 8).starts(1),
    byte("blue-light", {0, 3}, {0, 3}).in(0, 2),
    record("rgb-adjust", {0, 2}, {0, 2}),
    record("color-space-name", {13, 3}, none),
    record("gamma", {13, 2}, none),
    record("primaries-xy", {14, 0}, none),
    record("primaries-uv", {14, 1}, none),
};

void init_colour(Firmware& /*fw*/) {}

bool handle_colour(Firmware& fw, const Request& req, Reply& reply) {
    ColourState& c = fw.state.colour;
    if (req.opcode() == kOpPresetNames) {
        reply.bytes.assign(kPresetNamePacket, 0);
        reply.bytes[0] = kOpPresetNames;
        for (std::size_t i = 0; i < c.preset_names.size(); ++i)
            put_text(reply.bytes, 2 + kPresetNameField * i, kPresetNameField, c.preset_names[i]);
        return true;
    }
    if (req.bytes.size() < 32) return false;
    if (req.is_get(13, 3) || req.is_get(13, 2)) {
        reply = settings_reply(req);
        put_text(reply.bytes, 7, 25, req.item() == 3 ? current_colour_space_name(fw) : c.gamma_name);
        return true;
    }
    if (req.is_get(14, 0) || req.is_get(14, 1)) {
        reply = settings_reply(req);
        const auto& fields = req.item() == 0 ? c.primaries_xy : c.primaries_uv;
        for (std::size_t i = 0; i < fields.size(); ++i) put_le16(reply.bytes, 7 + 2 * i, fields[i]);
        return true;
    }
    if (req.is_get(0, 2)) {
        reply = settings_reply(req);
        for (std::size_t i = 0; i < 3; ++i) {
            put_le16(reply.bytes, 7 + 2 * i, static_cast<uint16_t>(c.gains[i]));
            put_le16(reply.bytes, 13 + 2 * i, static_cast<uint16_t>(c.offsets[i]));
        }
        return true;
    }
    if (req.is_set(0, 2)) {
        reply = echo(req.bytes.data(), 32);
        const uint8_t* p = req.bytes.data() + 7;
        for (std::size_t i = 0; i < 6; ++i) {
            if (!rgb_value_ok(p + 2 * i)) {
                reply.bytes[6] = 1;  // out of range: refused, nothing kept
                return true;
            }
        }
        for (std::size_t i = 0; i < 3; ++i) {
            c.gains[i] = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
            c.offsets[i] = static_cast<int16_t>(p[6 + 2 * i] | (p[6 + 2 * i + 1] << 8));
        }
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(colour, ColourState, kColourSettings, init_colour, handle_colour);

}  // namespace qv::sim
