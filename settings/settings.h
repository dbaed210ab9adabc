// The settings layer: every display setting by name, its value as JSON, and settings profiles
// (dump, restore, diff), on the display the library is connected to.
//
// Built from the library's command table and the value descriptions beside its rows
// (src/protocol/table/records.h); nothing here restates a layout or a range. Used by quorvexctl
// and by anything else that turns setting names into library calls. It prints nothing and
// keeps no state of its own beyond the catalogue built from the table: results and failures
// come back as data (library result codes and sentences), for the caller to show.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/command_table.h"

namespace qv::settings {

using Json = nlohmann::ordered_json;

enum class ValueType { u8, s16, text, record, record_list, action };

struct Setting {
    const SettingRow* row;
    std::string name;
    ValueType type = ValueType::u8;
    bool readable = false, writable = false;
    int low = 0, high = 0, step = 0;     // plain integer settings
    bool any_value = false;              // the display takes any byte
    const RecordDesc* value = nullptr;   // a departure's described value
    std::span<const RecordField> fields; // records: their fields
    // What the display's mode or monitor type must be to read and to change the setting
    // (empty: nothing), and the settings that precondition reads, written before it.
    std::string get_needs, set_needs;
    std::vector<std::string> prerequisites;
    // Belongs to one display (its network address, clock, input names, identity strings):
    // `apply` leaves it alone unless it is named.
    bool per_display = false;
    bool restorable() const { return readable && writable; }
};

// All settings, in restore order: what a setting's precondition reads comes before it.
const std::vector<Setting>& all();
const Setting* find(std::string_view name);

// The item whose `key` is `name`; nullptr when none is.
template <class T, class Key>
const T* find_by(const std::vector<T>& items, Key T::*key, std::string_view name) {
    for (const T& item : items)
        if (item.*key == name) return &item;
    return nullptr;
}

// The description of every setting, as `quorvexctl --json list` prints it: names, access,
// functions, ranges and every record field's offset, width and type.
Json describe();
const char* access_text(Access access);
const char* type_text(ValueType type);
std::string values_text(const Setting& s);  // "48..250", "month= day= ..." (writable fields)

// Turns command-line words into a value: one number or text, or field=value pairs of a record
// (only the fields given). False with *error on malformed input.
bool value_from_words(const Setting& s, const std::vector<std::string>& words, Json* value, std::string* error);
// Checks a whole value (as a profile holds it) against the setting's description.
bool check_value(const Setting& s, const Json& value, std::string* error);
// "120", "month=12 day=24 ...", "HDMI 1".
std::string format_value(const Setting& s, const Json& value);

// Library calls on the connected display; each returns the library's result code.
int read(const Setting& s, Json* value);
// Writes a value; fields of a record not given are first read from the display.
int write(const Setting& s, const Json& value);

// ---- profiles

inline constexpr const char* kProfileFormat = "quorvex-settings/1";

// A profile text is read only within these bounds, in time linear in its size.
struct ProfileLimits {
    std::size_t bytes = 1 << 20;  // the whole text
    std::size_t depth = 8;        // objects and arrays inside one another
    std::size_t keys = 10000;     // object members, all objects together
};
inline constexpr ProfileLimits kProfileLimits{};
Json limits_json();

struct Profile {
    Json display = Json::object();                               // serial, monitor_type, sdk_version
    std::vector<std::pair<const Setting*, Json>> settings;        // restore order
    std::vector<std::pair<const Setting*, std::string>> skipped;  // what a dump could not read, and why
};

// A failed library call: which setting, the code, and what the display needs for it.
struct Failure {
    std::string setting;
    int rc = 0;
    std::string reason;  // a sentence: the code's meaning, and what is needed when the mode refused
};
std::string describe_rc(int rc);
// A refusal that the display's state explains (its mode, its monitor type, its reply status),
// rather than a display that did not answer.
bool refused_by_state(int rc);

// Reads every readable setting of the connected display. A refusal the display's state
// explains lands in `skipped`; any other failure ends the dump and comes back as *failure.
bool dump(Profile* profile, Failure* failure);
Json to_json(const Profile& profile);

// Reads a profile text: within the limits, a settings profile, every name known, every
// read-write value of the right type and in range (read-only values are taken as they are).
// False with *error (a sentence) otherwise.
bool parse_profile(std::string_view text, Profile* profile, std::string* error);

struct RestoreReport {
    std::vector<std::string> written;                          // or, for a dry run, to be written
    std::vector<Failure> failed;
    std::vector<std::pair<std::string, std::string>> skipped;  // given but never restored, and why
};
// Writes every read-write setting of the profile in restore order (nothing with dry_run);
// write-only settings and actions are skipped with a reason, read-only ones left out.
RestoreReport restore(const Profile& profile, bool dry_run);
Json to_json(const RestoreReport& report);

// The settings whose values differ between two profiles (present in one only included):
// [{"name", "a", "b"}], null for a side that does not hold the setting.
Json diff(const Profile& a, const Profile& b);

// ---- applying a profile to the live display: only what differs

struct ApplyOptions {
    std::vector<std::string> include;  // per-display settings to apply all the same
    std::vector<std::string> exclude;  // settings to leave alone
    bool check = false;                // say what would change, write nothing
};

struct ApplyEntry {
    const Setting* setting;
    Json from;            // the display's value before (null when it could not be read)
    Json to;              // the profile's value
    std::string result;   // "changed", "would change" or "failed"
    std::string reason;   // for "failed"
};

struct ApplyReport {
    std::vector<ApplyEntry> settings;  // restore order
    std::vector<std::string> left_out; // given in the profile, left out (per display or excluded)
    bool changed() const;
    bool failed() const;
};

// Whether the display's value `live` already holds everything `wanted` sets: the same number or
// text, or the same writable fields (of the entry with the same selector, in a list).
bool holds(const Setting& s, const Json& live, const Json& wanted);

// Reads each read-write setting of the profile from the display in restore order and writes it
// when it differs (nothing with `check`); a written setting is read back and must then hold the
// profile's value. A second run on the same display writes nothing.
ApplyReport apply(const Profile& profile, const ApplyOptions& options);
// {"changed", "settings": [{"name", "from", "to", "result"[, "reason"]}], "left-out": [...]}
Json to_json(const ApplyReport& report);

}  // namespace qv::settings
