// Settings read back from the packets that carry them.
#include "decode.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "gadget_usb/bridge_framing.h"
#include "protocol/frame.h"

namespace qv::settings {

namespace {

using FT = FieldType;

// Where a departure's value lies in the packet, from byte 7 on. A record the library sends and
// takes whole (a packed record of the public header) lies as its C layout. Every other value
// goes field after field, each as wide as the wire carries it: integers as themselves, a float
// as 16-bit thousandths, an address as its four octets, a text as octets shown in hex.
bool as_c_layout(const RecordDesc& d) {
    return (d.shape == CallShape::record || d.shape == CallShape::indexed) && d.record_size == d.size;
}

std::size_t wire_width(const RecordField& f) {
    switch (f.type) {
        case FT::u8: return 1;
        case FT::s16: return 2;
        case FT::f32: return 2;
        case FT::ipv4: return 4;
        case FT::text: return f.width / 3;  // "xx." per octet, the last dot the NUL's place
    }
    return 0;
}

int16_t s16_at(const uint8_t* p) { return static_cast<int16_t>(get_le16(p)); }

std::string text_at(const uint8_t* p, std::size_t max) {
    const char* text = reinterpret_cast<const char*>(p);
    return std::string(text, strnlen(text, max));
}

Json field_as_laid_out(const RecordField& f, const uint8_t* at) {
    switch (f.type) {
        case FT::u8: return *at;
        case FT::s16: return s16_at(at);
        case FT::text:
        case FT::ipv4: return text_at(at, f.width);
        case FT::f32: {
            float v = 0;
            std::memcpy(&v, at, sizeof v);
            return static_cast<double>(v);
        }
    }
    return nullptr;
}

Json field_on_wire(const RecordField& f, const uint8_t* at) {
    switch (f.type) {
        case FT::u8:
        case FT::s16: return field_as_laid_out(f, at);
        case FT::f32: return static_cast<double>(get_le16(at)) / 1000.0;
        case FT::ipv4: {
            char text[16];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", at[0], at[1], at[2], at[3]);
            return text;
        }
        case FT::text: {
            std::string text;
            for (std::size_t i = 0; i < wire_width(f); ++i) {
                char octet[4];
                std::snprintf(octet, sizeof octet, "%x", at[i]);
                text += (i == 0 ? "" : ".") + std::string(octet);
            }
            return text;
        }
    }
    return nullptr;
}

// An input's name as the display keeps it: a name type, and the text only when custom.
std::string input_name(const InputNameRecord& r) {
    constexpr uint8_t kCustom = 11;
    constexpr std::size_t kPredefined = sizeof byPredefinedInputNames[0] / sizeof byPredefinedInputNames[0][0];
    constexpr std::size_t kChars = sizeof r.CustomName - 1;
    const std::size_t inputs = sizeof byDefaultInputNames / sizeof byDefaultInputNames[0];
    if (r.NameType == kCustom) return text_at(reinterpret_cast<const uint8_t*>(r.CustomName), kChars);
    if (r.InputNumber >= inputs) return "";
    if (r.NameType == 0) return text_at(reinterpret_cast<const uint8_t*>(byDefaultInputNames[r.InputNumber]), kChars);
    if (r.NameType > kPredefined) return "";
    return text_at(reinterpret_cast<const uint8_t*>(byPredefinedInputNames[r.InputNumber][r.NameType - 1]), kChars);
}

// A departure's value from the packet's bytes 7 on (`payload`, the rest of the packet). A set
// gives only what it carries.
Decoded departure_value(const Setting& s, const uint8_t* payload, std::size_t size, bool set) {
    const RecordDesc& d = *s.value;
    Decoded out{&s, nullptr, nullptr};
    if (d.shape == CallShape::text) {
        out.value = text_at(payload, std::min<std::size_t>(d.size - 1u, size));
        return out;
    }
    if (d.shape == CallShape::integer) {
        out.value = field_on_wire(d.fields[0], payload);
        return out;
    }
    const bool c_layout = as_c_layout(d);
    if (d.quirk == Quirk::input_name && set) {
        // The set repeats the input number before the record.
        ++payload;
        --size;
    }
    out.value = Json::object();
    std::size_t at = 0;
    for (const RecordField& f : d.fields) {
        const std::size_t here = c_layout ? f.offset : at;
        at += wire_width(f);
        if (set && f.read_only && !f.selector) continue;
        if (here + (c_layout ? f.width : wire_width(f)) > size) return {};
        out.value[f.name] = c_layout ? field_as_laid_out(f, payload + here) : field_on_wire(f, payload + here);
        if (f.selector) out.entry = out.value[f.name];
    }
    if (d.quirk == Quirk::off_switch && out.value[d.fields[0].name] == 0) {
        // Switched off, the record reads all zero, whatever else the display keeps.
        for (auto& [name, v] : out.value.items()) v = 0;
    }
    if (d.quirk == Quirk::input_name) {
        InputNameRecord r{};
        std::memcpy(&r, payload, std::min(sizeof r, size));
        out.value["name"] = input_name(r);
    }
    return out;
}

// The setting a settings packet addresses, when the display answered it with status 0.
const Setting* answered(std::span<const uint8_t> request, std::span<const uint8_t> reply, uint8_t opcode) {
    if (request.size() != kSettingPacketSize || reply.size() < kSettingPacketSize) return nullptr;
    if (request[0] != opcode || reply[0] != opcode || reply[kStatusByte] != 0) return nullptr;
    const SettingRow* row = opcode == kOpSet ? find_set_row(request[4], request[5]) : find_get_row(request[4], request[5]);
    return row == nullptr ? nullptr : find(row->cli);
}

// A plain setting's value, as a set carries it and a get's reply brings it back (a byte goes as
// a 16-bit word whose high byte is 0).
std::optional<Decoded> plain_value(const Setting& s, const uint8_t* payload) {
    if (s.row->kind == Kind::U8) return Decoded{&s, payload[0], nullptr};
    if (s.row->kind == Kind::S16) return Decoded{&s, s16_at(payload), nullptr};
    return std::nullopt;
}

}  // namespace

std::optional<Decoded> decode_set(std::span<const uint8_t> request, std::span<const uint8_t> reply) {
    const Setting* s = answered(request, reply, kOpSet);
    if (s == nullptr || !s->writable) return std::nullopt;
    const uint8_t* payload = request.data() + kPayload;
    if (!s->row->departure) return plain_value(*s, payload);
    Decoded d = departure_value(*s, payload, request.size() - kPayload, true);
    if (d.setting == nullptr) return std::nullopt;
    return d;
}

std::optional<Decoded> decode_get(std::span<const uint8_t> request, std::span<const uint8_t> reply) {
    const Setting* s = answered(request, reply, kOpGet);
    if (s == nullptr || !s->readable) return std::nullopt;
    const uint8_t* payload = reply.data() + kPayload;
    if (!s->row->departure) return plain_value(*s, payload);
    // Values only read, each through an argument of its own, come in the getter's own order,
    // which nothing here describes: not decoded.
    if (s->value->shape == CallShape::values && !s->writable) return std::nullopt;
    Decoded d = departure_value(*s, payload, kSettingPacketSize - kPayload, false);
    if (d.setting == nullptr) return std::nullopt;
    return d;
}

std::vector<uint8_t> reply_bytes(std::span<const uint8_t> transfer) {
    if (transfer.size() <= static_cast<std::size_t>(kBridgeStatus)) return {};
    std::vector<uint8_t> out(transfer.size());
    const int size = static_cast<int>(transfer.size());
    out.resize(static_cast<std::size_t>(bridge_data(transfer.data(), size, out.data(), size)));
    return out;
}

}  // namespace qv::settings
