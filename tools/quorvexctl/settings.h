// Every setting the tool reads and writes, by its name in the library's command table.
//
// A plain row of the table (one byte or one 16-bit word) is read and written through the
// row's typed entry points; a departure row (records, texts, several values in one call, an
// input or button number) through the codec of its shape in departures.cpp. Values travel as
// JSON in the tool: a number, a text, an object of record fields or, for an indexed record, an
// array of such objects.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/command_table.h"

namespace qvctl {

using Json = nlohmann::ordered_json;

enum class FieldType { u8, s16, f32, text, ipv4 };

struct Field {
    const char* name;   // kebab-case, as in the header's member or parameter name
    FieldType type;
    int low = 0, high = 0;   // integers: inclusive range; texts: most characters (high)
    bool read_only = false;  // reported by the display, never written
    bool selector = false;   // picks the entry of an indexed record
    unsigned offset = 0;     // byte offset in a packed record
};

enum class ValueType { u8, s16, text, record, record_list, action };

struct Setting {
    const qv::SettingRow* row;
    std::string name;
    ValueType type = ValueType::u8;
    bool readable = false, writable = false;
    int low = 0, high = 0, step = 0;  // plain integer settings
    bool any_value = false;           // the display takes any byte
    std::vector<Field> fields;        // records
    // What the display's mode or monitor type must be to read and to change the setting
    // (empty: nothing), and the settings that precondition reads, written before it.
    std::string get_needs, set_needs;
    std::vector<std::string> prerequisites;

    // Library calls; each returns the library's result code.
    int (*read_fn)(const Setting&, Json*) = nullptr;
    int (*write_fn)(const Setting&, const Json&) = nullptr;  // a whole value
};

// All settings, in restore order: what a setting's precondition reads comes before it.
const std::vector<Setting>& settings();
const Setting* find_setting(std::string_view name);

const char* access_text(qv::Access access);
const char* type_text(ValueType type);
const char* field_type_text(FieldType type);
std::string values_text(const Setting& s);
std::string field_values_text(const Field& f);

// Turns the words after `set NAME` into a value: one number or text for a plain setting,
// field=value pairs for a record (only the fields given). False with *error on malformed input.
bool parse_value(const Setting& s, const std::vector<std::string>& words, Json* value, std::string* error);
// Checks a value from a profile (a whole value) against the setting's shape.
bool check_value(const Setting& s, const Json& value, std::string* error);

int read_setting(const Setting& s, Json* value);
// Writes a value; for a record, fields not given are first read from the display.
int write_setting(const Setting& s, const Json& value);

// "120", "month=12 day=24 ...", "HDMI 1" (texts as they are).
std::string format_value(const Setting& s, const Json& value);

}  // namespace qvctl
