#include "settings.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <set>

#include "departures.h"
#include "output.h"
#include "quorvex.h"

namespace qvctl {

namespace {

using qv::GuardId;

// The settings a table guard reads: they are written before the settings the guard protects.
std::vector<std::string> prerequisites(const qv::Guard* guard) {
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

std::string needs_of(const qv::Guard* guard) { return guard != nullptr ? guard->needs : ""; }

int read_plain(const Setting& s, Json* value) {
    const qv::SettingRow& e = *s.row;
    if (e.get_s16 != nullptr) {
        int16_t v = 0;
        const int rc = e.get_s16(&v);
        if (rc == RC_OK) *value = v;
        return rc;
    }
    uint8_t v = 0;
    const int rc = e.get_u8(&v);
    if (rc == RC_OK) *value = v;
    return rc;
}

int write_plain(const Setting& s, const Json& value) {
    const qv::SettingRow& e = *s.row;
    const int v = value.get<int>();
    if (e.set_s16 != nullptr) return e.set_s16(static_cast<int16_t>(v));
    return e.set_u8(static_cast<uint8_t>(v));
}

Setting describe_row(const qv::SettingRow& row) {
    Setting s;
    s.row = &row;
    s.name = row.cli;
    s.get_needs = needs_of(row.get_guard);
    s.set_needs = needs_of(row.set_guard);
    for (const qv::Guard* guard : {row.get_guard, row.set_guard})
        for (std::string& name : prerequisites(guard)) s.prerequisites.push_back(std::move(name));
    if (row.departure) {
        describe_departure(&s);  // every departure has a shape: checked at build time
        return s;
    }
    const qv::SettingRow& e = row;
    if (row.kind == qv::Kind::ACTION) {
        s.type = ValueType::action;
        return s;
    }
    s.type = row.kind == qv::Kind::S16 ? ValueType::s16 : ValueType::u8;
    s.readable = e.get_u8 != nullptr || e.get_s16 != nullptr;
    s.writable = e.set_u8 != nullptr || e.set_s16 != nullptr;
    if (s.readable) s.read_fn = read_plain;
    if (s.writable) s.write_fn = write_plain;
    s.any_value = (row.flags & qv::F_NO_RANGE) != 0;
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
    std::vector<Setting> all;
    for (const qv::SettingRow& row : qv::kSettings) all.push_back(describe_row(row));
    // Depth-first: a setting's prerequisites, then the setting, otherwise table order.
    std::vector<Setting> ordered;
    std::set<std::string> placed;
    std::function<void(const Setting&)> place = [&](const Setting& s) {
        if (placed.count(s.name) != 0) return;
        placed.insert(s.name);
        for (const std::string& name : s.prerequisites)
            for (const Setting& p : all)
                if (p.name == name) place(p);
        ordered.push_back(s);
    };
    for (const Setting& s : all) place(s);
    return ordered;
}

bool parse_int(std::string_view text, long low, long high, long* value) {
    // Decimal only: "046" is 46, "0x10" and "+5" are not numbers.
    long v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || ec != std::errc() || ptr != end) return false;
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

bool valid_ipv4(const std::string& text) {
    int parts = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t dot = text.find('.', pos);
        const std::string_view part = std::string_view(text).substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        long v = 0;
        if (part.empty() || part.size() > 3 || !parse_int(part, 0, 255, &v)) return false;
        ++parts;
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return parts == 4;
}

bool check_field(const Setting& s, const Field& f, const Json& v, std::string* error) {
    const std::string what = s.name + " " + f.name;
    switch (f.type) {
        case FieldType::u8:
        case FieldType::s16:
            if (!v.is_number_integer() || v.get<long>() < f.low || v.get<long>() > f.high) {
                *error = what + ": " + shown(v.dump()) + " is not in " + field_values_text(f);
                return false;
            }
            return true;
        case FieldType::text:
        case FieldType::ipv4:
            if (!v.is_string() || v.get<std::string>().size() > static_cast<std::size_t>(f.high) ||
                v.get<std::string>().find('\0') != std::string::npos ||
                (f.type == FieldType::ipv4 && !valid_ipv4(v.get<std::string>()))) {
                *error = what + ": " + shown(v.is_string() ? v.get<std::string>() : v.dump()) + " is not " +
                         field_values_text(f);
                return false;
            }
            return true;
        case FieldType::f32:
            if (!v.is_number()) {
                *error = what + ": not a number";
                return false;
            }
            return true;
    }
    return false;
}

bool check_record(const Setting& s, const Json& v, bool whole, std::string* error) {
    if (!v.is_object()) {
        *error = s.name + ": expected an object of fields";
        return false;
    }
    for (const auto& [key, field_value] : v.items()) {
        const Field* f = nullptr;
        for (const Field& candidate : s.fields)
            if (key == candidate.name) f = &candidate;
        if (f == nullptr) {
            std::string names;
            for (const Field& candidate : s.fields) names += (names.empty() ? "" : ", ") + std::string(candidate.name);
            *error = s.name + ": no field named '" + shown(key) + "' (fields: " + names + ")";
            return false;
        }
        if (!f->read_only && !check_field(s, *f, field_value, error)) return false;
    }
    if (whole)
        for (const Field& f : s.fields)
            if (!f.read_only && !v.contains(f.name)) {
                *error = s.name + ": field " + f.name + " is missing";
                return false;
            }
    return true;
}

}  // namespace

const std::vector<Setting>& settings() {
    static const std::vector<Setting> all = build();
    return all;
}

const Setting* find_setting(std::string_view name) {
    for (const Setting& s : settings())
        if (s.name == name) return &s;
    return nullptr;
}

const char* access_text(qv::Access a) {
    switch (a) {
        case qv::Access::read: return "read";
        case qv::Access::write: return "write";
        case qv::Access::read_write: return "read-write";
        case qv::Access::action: return "action";
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

const char* field_type_text(FieldType t) {
    switch (t) {
        case FieldType::u8: return "u8";
        case FieldType::s16: return "s16";
        case FieldType::f32: return "float";
        case FieldType::text:
        case FieldType::ipv4: return "text";
    }
    return "?";
}

std::string field_values_text(const Field& f) {
    switch (f.type) {
        case FieldType::u8:
        case FieldType::s16: return std::to_string(f.low) + ".." + std::to_string(f.high);
        case FieldType::f32: return "a number";
        case FieldType::text: return "a text of at most " + std::to_string(f.high) + " characters";
        case FieldType::ipv4: return "a dotted-decimal IPv4 address";
    }
    return "";
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
            for (const Field& f : s.fields) text += (text.empty() ? "" : " ") + std::string(f.name) + "=";
            return text;
        }
    }
    return "";
}

bool parse_value(const Setting& s, const std::vector<std::string>& words, Json* value, std::string* error) {
    if (s.type == ValueType::record || s.type == ValueType::record_list) {
        if (words.empty()) {
            *error = s.name + ": give field=value pairs: " + values_text(s);
            return false;
        }
        Json object = Json::object();
        for (const std::string& word : words) {
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos || eq == 0) {
                *error = s.name + ": '" + shown(word) + "' is not field=value (fields: " + values_text(s) + ")";
                return false;
            }
            const std::string key = word.substr(0, eq);
            const std::string text = word.substr(eq + 1);
            const Field* f = nullptr;
            for (const Field& candidate : s.fields)
                if (key == candidate.name) f = &candidate;
            if (f == nullptr || f->read_only) {
                *error = s.name + ": no writable field named '" + shown(key) + "' (fields: " + values_text(s) + ")";
                return false;
            }
            if (object.contains(key)) {
                *error = s.name + ": field " + key + " given twice";
                return false;
            }
            if (f->type == FieldType::text || f->type == FieldType::ipv4) {
                object[key] = text;
            } else {
                long v = 0;
                if (!parse_int(text, f->low, f->high, &v)) {
                    *error = s.name + " " + key + ": '" + shown(text) + "' is not a decimal number in " +
                             field_values_text(*f);
                    return false;
                }
                object[key] = v;
            }
        }
        if (!check_record(s, object, false, error)) return false;
        if (s.type == ValueType::record_list) {
            for (const Field& f : s.fields)
                if (f.selector && !object.contains(f.name)) {
                    *error = s.name + ": say which entry with " + f.name + "=" + field_values_text(f);
                    return false;
                }
        }
        *value = std::move(object);
        return true;
    }
    if (words.size() != 1) {
        *error = s.name + ": give exactly one value (" + values_text(s) + ")";
        return false;
    }
    if (s.type == ValueType::text) {
        *value = words[0];
        return true;
    }
    long v = 0;
    if (!parse_int(words[0], s.low, s.high, &v) || (s.step != 0 && v % s.step != 0)) {
        *error = s.name + ": '" + shown(words[0]) + "' is not a valid value; valid: " + values_text(s);
        return false;
    }
    *value = v;
    return true;
}

bool check_value(const Setting& s, const Json& value, std::string* error) {
    switch (s.type) {
        case ValueType::u8:
        case ValueType::s16: {
            if (!value.is_number_integer() || value.get<long>() < s.low || value.get<long>() > s.high ||
                (s.step != 0 && value.get<long>() % s.step != 0)) {
                *error = s.name + ": " + shown(value.dump()) + " is not a valid value; valid: " + values_text(s);
                return false;
            }
            return true;
        }
        case ValueType::text:
            if (!value.is_string()) {
                *error = s.name + ": expected a text";
                return false;
            }
            return true;
        case ValueType::record: return check_record(s, value, true, error);
        case ValueType::record_list:
            if (!value.is_array()) {
                *error = s.name + ": expected an array of records";
                return false;
            }
            for (const Json& entry : value)
                if (!check_record(s, entry, true, error)) return false;
            return true;
        case ValueType::action: *error = s.name + " is an action, not a value"; return false;
    }
    return false;
}

int read_setting(const Setting& s, Json* value) { return s.read_fn(s, value); }

int write_setting(const Setting& s, const Json& value) {
    if (s.type == ValueType::record_list && value.is_array()) {
        for (const Json& entry : value)
            if (const int rc = write_setting(s, entry); rc != RC_OK) return rc;
        return RC_OK;
    }
    if (s.type != ValueType::record && s.type != ValueType::record_list) return s.write_fn(s, value);
    // Fill in the fields not given from the display's current record.
    Json whole = value;
    bool complete = true;
    for (const Field& f : s.fields)
        if (!f.read_only && !whole.contains(f.name)) complete = false;
    if (!complete && s.readable) {
        Json current;
        if (const int rc = read_setting(s, &current); rc != RC_OK) return rc;
        if (s.type == ValueType::record_list) {
            // The entry the selector picks, taken out once the list has been searched.
            const Field* selector = nullptr;
            for (const Field& f : s.fields)
                if (f.selector) selector = &f;
            Json picked = Json::object();
            for (const Json& entry : current)
                if (entry.at(selector->name) == value.at(selector->name)) picked = entry;
            current = std::move(picked);
        }
        for (const auto& [key, field_value] : current.items())
            if (!whole.contains(key)) whole[key] = field_value;
    }
    return s.write_fn(s, whole);
}

std::string format_value(const Setting& s, const Json& value) {
    auto text = [](const Json& v) {
        if (!v.is_string()) return v.dump();
        const std::string t = v.get<std::string>();
        return t.find_first_of(" \t\"=") == std::string::npos && !t.empty() ? t : v.dump();
    };
    if (s.type == ValueType::text) return value.get<std::string>();
    if (value.is_object()) {
        std::string line;
        for (const auto& [key, v] : value.items()) line += (line.empty() ? "" : " ") + key + "=" + text(v);
        return line;
    }
    if (value.is_array()) {
        std::string lines;
        for (const Json& entry : value) lines += (lines.empty() ? "" : "\n  ") + format_value(s, entry);
        return lines;
    }
    return value.dump();
}

}  // namespace qvctl
