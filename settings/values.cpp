// Values: JSON in and out of the bytes the description lays out, checked against it.
#include <charconv>
#include <cmath>
#include <cstring>

#include "calls.h"
#include "settings.h"
#include "text.h"

namespace qv::settings {

std::string field_values_text(const RecordField& f);

namespace {

using FT = FieldType;

bool is_integer_field(const RecordField& f) { return f.type == FT::u8 || f.type == FT::s16; }

// ---- bytes

Json field_from_bytes(const RecordField& f, const uint8_t* bytes) {
    const uint8_t* at = bytes + f.offset;
    switch (f.type) {
        case FT::u8: return *at;
        case FT::s16: {
            int16_t v = 0;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        case FT::text:
        case FT::ipv4: {
            const char* text = reinterpret_cast<const char*>(at);
            return std::string(text, strnlen(text, f.width));
        }
        case FT::f32: {
            float v = 0;
            std::memcpy(&v, at, sizeof v);
            return std::round(static_cast<double>(v) * 1000.0) / 1000.0;  // the display sends thousandths
        }
    }
    return nullptr;
}

// The value has been checked against the field.
void field_to_bytes(const RecordField& f, const Json& value, uint8_t* bytes) {
    uint8_t* at = bytes + f.offset;
    switch (f.type) {
        case FT::u8: *at = static_cast<uint8_t>(value.get<int>()); break;
        case FT::s16: {
            const auto v = static_cast<int16_t>(value.get<int>());
            std::memcpy(at, &v, sizeof v);
            break;
        }
        case FT::text:
        case FT::ipv4: {
            const std::string text = value.get<std::string>();
            std::memset(at, 0, f.width);
            std::memcpy(at, text.data(), text.size());  // at most width - 1: the NUL stays
            break;
        }
        case FT::f32: break;  // read-only
    }
}

Json record_from_bytes(const Setting& s, const uint8_t* bytes) {
    Json object = Json::object();
    for (const RecordField& f : s.fields) object[f.name] = field_from_bytes(f, bytes);
    return object;
}

// A whole record's writable fields into bytes. With the switch of an off_switch record at 0,
// the other fields go out at the lowest value their ranges allow.
void record_to_bytes(const Setting& s, const Json& value, uint8_t* bytes) {
    const bool off = s.value->quirk == Quirk::off_switch && value.at(s.fields[0].name).get<int>() == 0;
    for (std::size_t i = 0; i < s.fields.size(); ++i) {
        const RecordField& f = s.fields[i];
        if (f.read_only && !f.selector) {
            // An input's name marked custom stays custom, whatever predefined name it matches.
            if (s.value->quirk == Quirk::input_name) bytes[f.offset] = value.value(f.name, Json()) == Json(1) ? 1 : 0;
            continue;
        }
        if (off && i > 0)
            field_to_bytes(f, is_integer_field(f) ? Json(f.low) : Json(""), bytes);
        else
            field_to_bytes(f, value.at(f.name), bytes);
    }
}

// ---- checks

bool parse_int(std::string_view text, long low, long high, long* value) {
    // Decimal only: "046" is 46, "0x10" and "+5" are not numbers.
    long v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || ec != std::errc() || ptr != end || v < low || v > high) return false;
    *value = v;
    return true;
}

bool valid_ipv4(std::string_view text) {
    int parts = 0;
    while (true) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        long v = 0;
        if (part.empty() || part.size() > 3 || part[0] == '-' || !parse_int(part, 0, 255, &v)) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

// An integer of JSON within low..high (a JSON number with a fraction or exponent is not one).
bool integer_in(const Json& v, long low, long high, long* out) {
    if (v.is_number_unsigned()) {
        if (v.get<unsigned long long>() > static_cast<unsigned long long>(high)) return false;
    } else if (!v.is_number_integer()) {
        return false;
    }
    const long n = v.get<long>();
    if (n < low || n > high) return false;
    *out = n;
    return true;
}

bool check_field(const Setting& s, const RecordField& f, const Json& v, std::string* error) {
    const std::string what = s.name + " " + f.name;
    long n = 0;
    switch (f.type) {
        case FT::u8:
        case FT::s16:
            if (integer_in(v, f.low, f.high, &n)) return true;
            *error = what + ": " + shown(v.dump()) + " is not in " + field_values_text(f);
            return false;
        case FT::text:
        case FT::ipv4:
            if (v.is_string() && v.get_ref<const std::string&>().size() < f.width &&
                v.get_ref<const std::string&>().find('\0') == std::string::npos &&
                (f.type == FT::text || valid_ipv4(v.get_ref<const std::string&>())))
                return true;
            *error = what + ": " + shown(v.is_string() ? v.get<std::string>() : v.dump()) + " is not " +
                     field_values_text(f);
            return false;
        case FT::f32:
            if (v.is_number()) return true;
            *error = what + ": not a number";
            return false;
    }
    return false;
}

std::string writable_fields(const Setting& s) {
    std::string names;
    for (const RecordField& f : s.fields)
        if (!f.read_only || f.selector) names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

const RecordField* field_named(const Setting& s, std::string_view name) {
    for (const RecordField& f : s.fields)
        if (name == f.name) return &f;
    return nullptr;
}

// `whole`: every writable field must be given (a profile's record); otherwise only those
// given are checked (the command line's). Read-only fields may hold anything: they are never
// written. The other fields of a switched-off record are not looked at.
bool check_record(const Setting& s, const Json& v, bool whole, std::string* error) {
    if (!v.is_object()) {
        *error = s.name + ": expected an object of fields";
        return false;
    }
    bool off = false;
    if (s.value->quirk == Quirk::off_switch) {
        const RecordField& sw = s.fields[0];
        if (v.contains(sw.name) && !check_field(s, sw, v[sw.name], error)) return false;
        off = v.contains(sw.name) && v[sw.name].get<int>() == 0;
    }
    for (const auto& [key, field_value] : v.items()) {
        const RecordField* f = field_named(s, key);
        if (f == nullptr) {
            *error = s.name + ": no field named '" + shown(key) + "' (fields: " + writable_fields(s) + ")";
            return false;
        }
        if ((f->read_only && !f->selector) || (off && f != &s.fields[0])) continue;
        if (!check_field(s, *f, field_value, error)) return false;
    }
    if (whole)
        for (std::size_t i = 0; i < s.fields.size(); ++i) {
            const RecordField& f = s.fields[i];
            if ((f.read_only && !f.selector) || (off && i > 0) || v.contains(f.name)) continue;
            *error = s.name + ": field " + f.name + " is missing";
            return false;
        }
    return true;
}

const RecordField& selector_of(const Setting& s) {
    for (const RecordField& f : s.fields)
        if (f.selector) return f;
    return s.fields[0];
}

std::vector<uint8_t> buffer_of(const Setting& s) { return std::vector<uint8_t>(s.value->size + 1u, 0); }

// ---- library calls

int read_plain(const SettingRow& e, Json* value) {
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

int write_plain(const SettingRow& e, const Json& value) {
    const int v = value.get<int>();
    if (e.set_s16 != nullptr) return e.set_s16(static_cast<int16_t>(v));
    return e.set_u8(static_cast<uint8_t>(v));
}

int write_whole(const Setting& s, const Json& value) {
    const detail::Call& call = *detail::call_of(*s.row);
    std::vector<uint8_t> bytes = buffer_of(s);
    if (s.fields.empty())
        field_to_bytes(s.value->fields[0], value, bytes.data());
    else
        record_to_bytes(s, value, bytes.data());
    return call.write(s, bytes.data());
}

}  // namespace

bool check_value(const Setting& s, const Json& value, std::string* error) {
    long n = 0;
    switch (s.type) {
        case ValueType::u8:
        case ValueType::s16:
            if (integer_in(value, s.low, s.high, &n) && (s.step == 0 || n % s.step == 0)) return true;
            *error = s.name + ": " + shown(value.dump()) + " is not a valid value; valid: " + values_text(s);
            return false;
        case ValueType::text:
            if (value.is_string()) return true;
            *error = s.name + ": expected a text";
            return false;
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

bool value_from_words(const Setting& s, const std::vector<std::string>& words, Json* value, std::string* error) {
    if (s.type == ValueType::record || s.type == ValueType::record_list) {
        if (words.empty()) {
            *error = s.name + ": give field=value pairs: " + values_text(s);
            return false;
        }
        Json object = Json::object();
        for (const std::string& word : words) {
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos || eq == 0) {
                *error = s.name + ": '" + shown(word) + "' is not field=value (fields: " + writable_fields(s) + ")";
                return false;
            }
            const std::string key = word.substr(0, eq);
            const std::string text = word.substr(eq + 1);
            const RecordField* f = field_named(s, key);
            if (f == nullptr || (f->read_only && !f->selector)) {
                *error = s.name + ": no writable field named '" + shown(key) + "' (fields: " + writable_fields(s) + ")";
                return false;
            }
            if (object.contains(key)) {
                *error = s.name + ": field " + key + " given twice";
                return false;
            }
            if (!is_integer_field(*f)) {
                object[key] = text;
                continue;
            }
            long v = 0;
            if (!parse_int(text, f->low, f->high, &v)) {
                *error = s.name + " " + key + ": '" + shown(text) + "' is not a decimal number in " + field_values_text(*f);
                return false;
            }
            object[key] = v;
        }
        if (!check_record(s, object, false, error)) return false;
        if (s.type == ValueType::record_list && !object.contains(selector_of(s).name)) {
            const RecordField& sel = selector_of(s);
            *error = s.name + ": say which entry with " + sel.name + "=" + field_values_text(sel);
            return false;
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

int read(const Setting& s, Json* value) {
    if (!s.row->departure) return read_plain(*s.row, value);
    const detail::Call& call = *detail::call_of(*s.row);
    std::vector<uint8_t> bytes = buffer_of(s);
    if (s.type == ValueType::record_list) {
        const RecordField& sel = selector_of(s);
        Json list = Json::array();
        for (long i = sel.low; i <= sel.high; ++i) {
            std::fill(bytes.begin(), bytes.end(), 0);
            field_to_bytes(sel, Json(i), bytes.data());
            if (const int rc = call.read(s, bytes.data()); rc != RC_OK) return rc;
            list.push_back(record_from_bytes(s, bytes.data()));
        }
        *value = std::move(list);
        return RC_OK;
    }
    if (const int rc = call.read(s, bytes.data()); rc != RC_OK) return rc;
    if (s.type == ValueType::text) {
        const char* text = reinterpret_cast<const char*>(bytes.data());
        *value = std::string(text, strnlen(text, s.value->size));
    } else if (s.fields.empty()) {
        *value = field_from_bytes(s.value->fields[0], bytes.data());
    } else {
        *value = record_from_bytes(s, bytes.data());
    }
    return RC_OK;
}

int write(const Setting& s, const Json& value) {
    if (s.type == ValueType::record_list && value.is_array()) {
        for (const Json& entry : value)
            if (const int rc = write(s, entry); rc != RC_OK) return rc;
        return RC_OK;
    }
    if (!s.row->departure) return write_plain(*s.row, value);
    if (s.type != ValueType::record && s.type != ValueType::record_list) return write_whole(s, value);
    // Fill in the fields not given from the display's current record.
    std::string ignored;
    if (check_record(s, value, true, &ignored) || !s.readable) return write_whole(s, value);
    Json current;
    if (const int rc = read(s, &current); rc != RC_OK) return rc;
    if (s.type == ValueType::record_list) {
        const std::string selector = selector_of(s).name;
        Json picked = Json::object();
        for (const Json& entry : current)
            if (entry.at(selector) == value.at(selector)) picked = entry;
        current = std::move(picked);
    }
    Json whole = value;
    for (const auto& [key, field_value] : current.items())
        if (!whole.contains(key)) whole[key] = field_value;
    return write_whole(s, whole);
}

std::string format_value(const Setting& s, const Json& value) {
    auto text = [](const Json& v) {
        if (!v.is_string()) return v.dump();
        const std::string& t = v.get_ref<const std::string&>();
        return t.find_first_of(" \t\"=") == std::string::npos && !t.empty() ? t : v.dump();
    };
    if (s.type == ValueType::text && value.is_string()) return value.get<std::string>();
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

}  // namespace qv::settings
