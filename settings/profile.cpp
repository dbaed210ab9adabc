// Settings profiles: dump, a bounded reader, restore and diff.
#include <cstdio>
#include <cstring>
#include <set>

#include "quorvex.h"
#include "settings.h"
#include "text.h"

namespace qv::settings {

bool refused_by_state(int rc) {
    return rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED || rc == RC_DEVICE_STATUS || rc == RC_INVALID_ARGUMENT;
}

namespace {

bool refused_by_mode(int rc) { return rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED; }

// Depth and member count of a JSON text, in one pass, without building anything; stops as soon
// as a limit is passed. A text that is not JSON may count oddly: the parser refuses it next.
bool within_limits(std::string_view text, std::string* error) {
    const ProfileLimits& limits = kProfileLimits;
    if (text.size() > limits.bytes) {
        *error = "the profile is " + std::to_string(text.size()) + " bytes; at most " + std::to_string(limits.bytes) +
                 " are read";
        return false;
    }
    std::size_t depth = 0;
    std::size_t keys = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            if (++depth > limits.depth) {
                *error = "the profile nests deeper than " + std::to_string(limits.depth) + " levels";
                return false;
            }
        } else if (c == '}' || c == ']') {
            if (depth > 0) --depth;
        } else if (c == ':') {
            if (++keys > limits.keys) {
                *error = "the profile has more than " + std::to_string(limits.keys) + " keys";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::string shown(std::string_view text, std::size_t limit) {
    std::string result;
    const std::size_t n = text.size() < limit ? text.size() : limit;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            result += hex;
        } else {
            result += static_cast<char>(c);
        }
    }
    if (text.size() > limit) result += "... (" + std::to_string(text.size()) + " bytes)";
    return result;
}

std::string describe_rc(int rc) {
    switch (rc) {
        case RC_OK: return "success";
        case RC_FAILED: return "the operation failed (USB link error or no reply from the display)";
        case RC_NOT_ALLOWED: return "the display's current mode does not allow this";
        case RC_NOT_SUPPORTED: return "this monitor type does not offer the feature";
        case RC_DEVICE_STATUS: return "the display refused the command";
        case RC_EXCHANGE_FAILED: return "no answer from the display (exchange failed)";
        case RC_NOT_FOUND: return "the display is no longer at its recorded USB address; scan again";
        case RC_INVALID_ARGUMENT: return "invalid argument";
        case RC_CLAIM_FAILED: return "could not claim the display's USB interface (in use by another program?)";
        case RC_MONITOR_TYPE_FAILED: return "could not read the monitor type after connecting";
        case RC_NO_DEVICES: return "no display found";
        case RC_ENUMERATION_FAILED: return "could not list the USB devices";
        case RC_USB_UNAVAILABLE: return "USB is not available (cannot initialise USB or open the device)";
        default: return "unknown error";
    }
}

Json limits_json() {
    return Json{{"bytes", kProfileLimits.bytes}, {"depth", kProfileLimits.depth}, {"keys", kProfileLimits.keys}};
}

bool dump(Profile* profile, Failure* failure) {
    char serial[11] = {};
    if (const int rc = GetDisplaySerialNumber(serial); rc != RC_OK) {
        *failure = {"serial-number", rc, describe_rc(rc)};
        return false;
    }
    char version[8] = {};
    GetSdkVersion(version);
    profile->display = Json{{"serial", std::string(serial, strnlen(serial, 10))},
                            {"monitor_type", gu8MonitorType},
                            {"sdk_version", std::string(version, strnlen(version, 7))}};
    for (const Setting& s : all()) {
        if (!s.readable) continue;
        Json value;
        const int rc = read(s, &value);
        if (rc == RC_OK) {
            profile->settings.emplace_back(&s, std::move(value));
        } else if (refused_by_state(rc)) {
            profile->skipped.emplace_back(&s, refused_by_mode(rc) && !s.get_needs.empty() ? "needs " + s.get_needs
                                                                                         : describe_rc(rc));
        } else {
            *failure = {s.name, rc, describe_rc(rc)};
            return false;
        }
    }
    return true;
}

Json to_json(const Profile& profile) {
    Json settings = Json::object();
    for (const auto& [s, value] : profile.settings) settings[s->name] = value;
    Json skipped = Json::object();
    for (const auto& [s, reason] : profile.skipped) skipped[s->name] = reason;
    return Json{{"format", kProfileFormat}, {"display", profile.display}, {"settings", settings}, {"skipped", skipped}};
}

bool parse_profile(std::string_view text, Profile* profile, std::string* error) {
    if (!within_limits(text, error)) return false;
    // A plain JSON object keeps its members in a tree: finding one is logarithmic, where the
    // ordered kind searches them one by one. The order of the settings is the table's anyway.
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        *error = "not valid JSON";
        return false;
    }
    if (!json.is_object() || !json.contains("format") || json["format"] != kProfileFormat) {
        *error = std::string("not a settings profile (\"format\" must be \"") + kProfileFormat + "\")";
        return false;
    }
    if (!json.contains("settings") || !json["settings"].is_object()) {
        *error = "the profile has no \"settings\" object";
        return false;
    }
    profile->display = Json::object();
    if (json.contains("display") && json["display"].is_object())
        for (const char* key : {"serial", "monitor_type", "sdk_version"})
            if (json["display"].contains(key)) profile->display[key] = Json::parse(json["display"][key].dump());
    const nlohmann::json& given = json["settings"];
    for (const auto& [name, value] : given.items())
        if (find(name) == nullptr) {
            *error = "no setting named '" + shown(name) + "' (see quorvexctl list)";
            return false;
        }
    // Restore order, whatever the order in the file.
    for (const Setting& s : all()) {
        const auto it = given.find(s.name);
        if (it == given.end()) continue;
        Json value = Json::parse(it->dump());
        if (s.restorable() && !check_value(s, value, error)) return false;
        profile->settings.emplace_back(&s, std::move(value));
    }
    if (json.contains("skipped") && json["skipped"].is_object())
        for (const auto& [name, reason] : json["skipped"].items())
            if (const Setting* s = find(name); s != nullptr && reason.is_string())
                profile->skipped.emplace_back(s, reason.get<std::string>());
    return true;
}

RestoreReport restore(const Profile& profile, bool dry_run) {
    RestoreReport report;
    for (const auto& [s, value] : profile.settings) {
        if (s->type == ValueType::action) {
            report.skipped.emplace_back(s->name, "an action, never restored");
            continue;
        }
        if (!s->readable && s->writable) {
            report.skipped.emplace_back(s->name, "write-only, never restored");
            continue;
        }
        if (!s->restorable()) continue;  // a read-only value: the display's own
        if (dry_run) {
            report.written.push_back(s->name);
            continue;
        }
        const int rc = write(*s, value);
        if (rc == RC_OK) {
            report.written.push_back(s->name);
            continue;
        }
        std::string reason = describe_rc(rc);
        if (refused_by_mode(rc) && !s->set_needs.empty()) reason += " (needs " + s->set_needs + ")";
        report.failed.push_back({s->name, rc, reason});
    }
    return report;
}

Json to_json(const RestoreReport& report) {
    Json failed = Json::object();
    for (const Failure& f : report.failed) failed[f.setting] = f.reason;
    Json skipped = Json::object();
    for (const auto& [name, reason] : report.skipped) skipped[name] = reason;
    return Json{{"written", report.written}, {"failed", failed}, {"skipped", skipped}};
}

Json diff(const Profile& a, const Profile& b) {
    auto value_in = [](const Profile& p, const Setting& s) -> const Json* {
        for (const auto& [setting, value] : p.settings)
            if (setting == &s) return &value;
        return nullptr;
    };
    Json differences = Json::array();
    for (const Setting& s : all()) {
        const Json* va = value_in(a, s);
        const Json* vb = value_in(b, s);
        if (va == nullptr && vb == nullptr) continue;
        // Members compare by name, whatever their order in either file.
        if (va != nullptr && vb != nullptr && nlohmann::json::parse(va->dump()) == nlohmann::json::parse(vb->dump()))
            continue;
        differences.push_back({{"name", s.name}, {"a", va != nullptr ? *va : Json()}, {"b", vb != nullptr ? *vb : Json()}});
    }
    return differences;
}

bool holds(const Setting& s, const Json& live, const Json& wanted) {
    const auto same = [](const Json& a, const Json& b) {
        return nlohmann::json::parse(a.dump()) == nlohmann::json::parse(b.dump());
    };
    if (s.type != ValueType::record && s.type != ValueType::record_list) return same(live, wanted);
    // Only what a write changes: the writable fields given.
    const auto record_holds = [&](const Json& have, const Json& want) {
        if (!have.is_object() || !want.is_object()) return false;
        for (const RecordField& f : s.fields) {
            if (f.read_only || !want.contains(f.name)) continue;
            if (!have.contains(f.name) || !same(have[f.name], want[f.name])) return false;
        }
        return true;
    };
    if (s.type == ValueType::record) return record_holds(live, wanted);
    if (!live.is_array() || !wanted.is_array()) return false;
    const char* selector = nullptr;
    for (const RecordField& f : s.fields)
        if (f.selector) selector = f.name;
    for (const Json& want : wanted) {
        bool found = false;
        for (const Json& have : live)
            if (selector != nullptr && have.contains(selector) && want.contains(selector) &&
                same(have[selector], want[selector]))
                found = record_holds(have, want);
        if (!found) return false;
    }
    return true;
}

bool ApplyReport::changed() const {
    for (const ApplyEntry& e : settings)
        if (e.result != "failed") return true;
    return false;
}

bool ApplyReport::failed() const {
    for (const ApplyEntry& e : settings)
        if (e.result == "failed") return true;
    return false;
}

ApplyReport apply(const Profile& profile, const ApplyOptions& options) {
    const auto named = [](const std::vector<std::string>& names, const Setting& s) {
        for (const std::string& name : names)
            if (name == s.name) return true;
        return false;
    };
    ApplyReport report;
    for (const auto& [s, wanted] : profile.settings) {
        if (!s->restorable()) continue;
        if (named(options.exclude, *s) || (s->per_display && !named(options.include, *s))) {
            report.left_out.push_back(s->name);
            continue;
        }
        Json live;
        const int read_rc = read(*s, &live);
        if (read_rc == RC_OK && holds(*s, live, wanted)) continue;
        ApplyEntry entry{s, read_rc == RC_OK ? live : Json(), wanted, "would change", {}};
        if (read_rc != RC_OK && !refused_by_state(read_rc)) {
            entry.result = "failed";
            entry.reason = "read: " + describe_rc(read_rc);
        } else if (!options.check) {
            // A setting the display's mode hides is written all the same: what the profile
            // wrote before it (picture-in-picture on, say) may have made it possible.
            const int rc = write(*s, wanted);
            Json after;
            if (rc != RC_OK) {
                entry.result = "failed";
                entry.reason = describe_rc(rc);
                if (refused_by_mode(rc) && !s->set_needs.empty()) entry.reason += " (needs " + s->set_needs + ")";
            } else if (const int rc_after = read(*s, &after); rc_after != RC_OK) {
                entry.result = "failed";
                entry.reason = "read back: " + describe_rc(rc_after);
            } else if (!holds(*s, after, wanted)) {
                entry.result = "failed";
                entry.reason = "written, but the display reads " + after.dump();
            } else {
                entry.result = "changed";
            }
        }
        report.settings.push_back(std::move(entry));
    }
    return report;
}

Json to_json(const ApplyReport& report) {
    Json settings = Json::array();
    for (const ApplyEntry& e : report.settings) {
        Json entry = {{"name", e.setting->name}, {"from", e.from}, {"to", e.to}, {"result", e.result}};
        if (!e.reason.empty()) entry["reason"] = e.reason;
        settings.push_back(std::move(entry));
    }
    return Json{{"changed", report.changed()}, {"settings", settings}, {"left-out", report.left_out}};
}

}  // namespace qv::settings
