// The catalogue of settings: one per row of the command table, in restore order, with what a
// client needs to know about each (and `describe`, its export).
#include <functional>
#include <set>

#include "calls.h"
#include "settings.h"

namespace qv::settings {

namespace {

// The settings a table guard reads: they are written before the settings the guard protects.
std::vector<std::string> prerequisites(const Guard* guard) {
    if (guard == nullptr) return {};
    switch (guard->id) {
        case GuardId::OVERDRIVE:
        case GuardId::MARKER_PIP:
        case GuardId::PIP_ON_EXACT:
        case GuardId::PIP_ON:
        case GuardId::PIP_DCI: return {"pip"};
        case GuardId::PIP_MODE1: return {"pip", "pip-mode"};
        case GuardId::CROPPED_REGION: return {"dci-image-region"};
        case GuardId::WEB_SERVER: return {"web-server"};
        case GuardId::WEB_SERVER_MANAGEMENT: return {"web-server", "ws-management"};
        default: return {};
    }
}

// What a departure's functions check before they send anything, when the row names no guard
// of the table: the text for people and the settings it reads.
struct Needs {
    const char* function;
    const char* text;
    std::vector<std::string> first;
};
const Needs kDepartureNeeds[] = {
    {"GetPIPResolution", guard::pip_on.needs, {"pip"}},
    {"GetPIPSize", guard::pip_mode1.needs, {"pip", "pip-mode"}},
    {"GetPIPPosition", guard::pip_mode1.needs, {"pip", "pip-mode"}},
    {"GetImageScaling", guard::image_mode.needs, {}},
    {"GetMarkerDetails", guard::marker_main.needs, {}},
    {"GetPIPMarkerDetails", guard::marker_pip.needs, {"pip"}},
    {"GetIPConfiguration", guard::web_server.needs, {"web-server"}},
    {"GetUSBBindingConfiguration", "USB port binding status 3", {"usb-port-binding"}},
};

// Settings that belong to one display rather than to a facility's look: its network address,
// its clock, the names of its inputs and the strings that identify it.
constexpr std::string_view kPerDisplay[] = {
    "ip-config",      "date-time",       "input-name",          "serial-number",
    "customer-asset", "deployment-date", "deployment-location", "display-name",
};

Setting describe_row(const SettingRow& row) {
    Setting s;
    s.row = &row;
    s.name = row.cli;
    for (std::string_view name : kPerDisplay) s.per_display = s.per_display || name == s.name;
    if (row.get_guard != nullptr) s.get_needs = row.get_guard->needs;
    if (row.set_guard != nullptr) s.set_needs = row.set_guard->needs;
    for (const Guard* guard : {row.get_guard, row.set_guard})
        for (std::string& name : prerequisites(guard)) s.prerequisites.push_back(std::move(name));
    if (row.departure) {
        const RecordDesc& d = *row.record;
        const detail::Call* call = detail::call_of(row);
        s.value = &d;
        s.fields = d.fields;
        s.readable = row.getter != nullptr && call->read != nullptr;
        s.writable = row.setter != nullptr && call->write != nullptr;
        switch (d.shape) {
            case CallShape::text: s.type = ValueType::text; break;
            case CallShape::integer: {
                const RecordField& f = d.fields[0];
                s.type = f.type == FieldType::s16 ? ValueType::s16 : ValueType::u8;
                s.low = f.low;
                s.high = f.high;
                s.fields = {};
                break;
            }
            case CallShape::indexed: s.type = ValueType::record_list; break;
            default: s.type = ValueType::record; break;
        }
        const char* function = row.getter != nullptr ? row.getter : row.setter;
        for (const Needs& needs : kDepartureNeeds)
            if (std::string_view(needs.function) == function) {
                if (s.get_needs.empty()) s.get_needs = needs.text;
                if (s.set_needs.empty()) s.set_needs = needs.text;
                s.prerequisites.insert(s.prerequisites.end(), needs.first.begin(), needs.first.end());
            }
        return s;
    }
    if (row.kind == Kind::ACTION) {
        s.type = ValueType::action;
        return s;
    }
    s.type = row.kind == Kind::S16 ? ValueType::s16 : ValueType::u8;
    s.readable = row.get_u8 != nullptr || row.get_s16 != nullptr;
    s.writable = row.set_u8 != nullptr || row.set_s16 != nullptr;
    s.any_value = (row.flags & F_NO_RANGE) != 0;
    s.low = s.any_value ? 0 : row.low;
    s.high = s.any_value ? 255 : row.high;
    s.step = row.step;
    if (!s.writable) {  // a readout: whatever its width holds
        s.low = s.type == ValueType::s16 ? INT16_MIN : 0;
        s.high = s.type == ValueType::s16 ? INT16_MAX : UINT8_MAX;
    }
    return s;
}

std::vector<Setting> build() {
    std::vector<Setting> table;
    for (const SettingRow& row : kSettings) table.push_back(describe_row(row));
    // Depth-first: a setting's prerequisites, then the setting, otherwise table order.
    std::vector<Setting> ordered;
    std::set<std::string> placed;
    std::function<void(const Setting&)> place = [&](const Setting& s) {
        if (!placed.insert(s.name).second) return;
        for (const std::string& name : s.prerequisites)
            for (const Setting& p : table)
                if (p.name == name) place(p);
        ordered.push_back(s);
    };
    for (const Setting& s : table) place(s);
    return ordered;
}

const char* field_type_text(FieldType t) {
    switch (t) {
        case FieldType::u8: return "u8";
        case FieldType::s16: return "s16";
        case FieldType::f32: return "float";
        case FieldType::text: return "text";
        case FieldType::ipv4: return "ipv4";
    }
    return "?";
}

const char* shape_text(CallShape shape) {
    switch (shape) {
        case CallShape::text: return "text";
        case CallShape::integer: return "integer";
        case CallShape::record: return "record";
        case CallShape::values: return "values";
        case CallShape::arrays: return "arrays";
        case CallShape::per_field_pair: return "per-field-pair";
        case CallShape::indexed: return "indexed";
    }
    return "?";
}

const char* quirk_text(Quirk quirk) {
    switch (quirk) {
        case Quirk::none: return nullptr;
        case Quirk::off_switch: return "off-switch";
        case Quirk::input_name: return "input-name";
    }
    return nullptr;
}

}  // namespace

std::string field_values_text(const RecordField& f) {
    switch (f.type) {
        case FieldType::u8:
        case FieldType::s16: return std::to_string(f.low) + ".." + std::to_string(f.high);
        case FieldType::f32: return "a number";
        case FieldType::text: return "a text of at most " + std::to_string(f.width - 1) + " bytes";
        case FieldType::ipv4: return "a dotted-decimal IPv4 address";
    }
    return "";
}

const std::vector<Setting>& all() {
    static const std::vector<Setting> settings = build();
    return settings;
}

const Setting* find(std::string_view name) { return find_by(all(), &Setting::name, name); }

const char* access_text(Access a) {
    switch (a) {
        case Access::read: return "read";
        case Access::write: return "write";
        case Access::read_write: return "read-write";
        case Access::action: return "action";
    }
    return "?";
}

const char* type_text(ValueType t) {
    switch (t) {
        case ValueType::u8: return "u8";
        case ValueType::s16: return "s16";
        case ValueType::text: return "text";
        case ValueType::record: return "record";
        case ValueType::record_list: return "record-list";
        case ValueType::action: return "action";
    }
    return "?";
}

std::string values_text(const Setting& s) {
    switch (s.type) {
        case ValueType::u8:
        case ValueType::s16: {
            if (s.any_value) return "any";
            std::string text = std::to_string(s.low) + ".." + std::to_string(s.high);
            if (s.step != 0) text += " (multiples of " + std::to_string(s.step) + ")";
            return text;
        }
        case ValueType::text: return "text";
        case ValueType::action: return "none (an action)";
        case ValueType::record:
        case ValueType::record_list: {
            std::string text;
            for (const RecordField& f : s.fields)
                if (!f.read_only || !s.writable) text += (text.empty() ? "" : " ") + std::string(f.name) + "=";
            return text;
        }
    }
    return "";
}

Json describe() {
    Json list = Json::array();
    for (const Setting& s : all()) {
        const std::string& needs = s.set_needs.empty() ? s.get_needs : s.set_needs;
        Json entry = {{"name", s.name},
                      {"access", access_text(s.row->access)},
                      {"family", family_name(s.row->family)},
                      {"getter", s.row->getter != nullptr ? Json(s.row->getter) : Json(nullptr)},
                      {"setter", s.row->setter != nullptr ? Json(s.row->setter) : Json(nullptr)},
                      {"type", type_text(s.type)},
                      {"values", values_text(s)},
                      {"needs", needs.empty() ? Json(nullptr) : Json(needs)}};
        if (s.per_display) entry["per-display"] = true;
        if (s.type == ValueType::u8 || s.type == ValueType::s16) {
            entry["low"] = s.low;
            entry["high"] = s.high;
            entry["step"] = s.step;
        }
        if (s.value != nullptr && s.type != ValueType::u8 && s.type != ValueType::s16) {
            const RecordDesc& d = *s.value;
            Json layout = {{"ctype", d.ctype}, {"size", d.size}, {"record-size", d.record_size},
                           {"call", shape_text(d.shape)}};
            if (const char* quirk = quirk_text(d.quirk)) layout["quirk"] = quirk;
            entry["layout"] = layout;
        }
        if (!s.fields.empty()) {
            Json fields = Json::array();
            for (const RecordField& f : s.fields) {
                Json field = {{"name", f.name},        {"type", field_type_text(f.type)},
                              {"values", field_values_text(f)}, {"offset", f.offset},
                              {"width", f.width}};
                if (f.type == FieldType::u8 || f.type == FieldType::s16) {
                    field["signed"] = f.type == FieldType::s16;
                    field["low"] = f.low;
                    field["high"] = f.high;
                }
                if (f.read_only) field["read-only"] = true;
                if (f.selector) field["selector"] = true;
                fields.push_back(field);
            }
            entry["fields"] = fields;
        }
        list.push_back(entry);
    }
    return list;
}

}  // namespace qv::settings
