#include "profile.h"

#include <cstring>

#include "output.h"
#include "quorvex.h"

namespace qvctl {

namespace {

// A refusal that the display's state explains: the setting is listed under "skipped".
bool refused_by_state(int rc) {
    return rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED || rc == RC_DEVICE_STATUS || rc == RC_INVALID_ARGUMENT;
}

}  // namespace

int read_profile(Profile* profile, std::string* failed) {
    char serial[11] = {};
    if (const int rc = GetDisplaySerialNumber(serial); rc != RC_OK) {
        *failed = "serial-number";
        return rc;
    }
    char version[8] = {};
    GetSdkVersion(version);
    profile->display = {std::string(serial, strnlen(serial, 10)), gu8MonitorType, version};
    for (const Setting& s : settings()) {
        if (!s.readable) continue;
        Json value;
        const int rc = read_setting(s, &value);
        if (rc == RC_OK) {
            profile->settings.emplace_back(&s, std::move(value));
        } else if (refused_by_state(rc)) {
            const std::string& needs = s.get_needs;
            const bool mode = rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED;
            profile->skipped.emplace_back(&s, mode && !needs.empty() ? "needs " + needs : describe(rc));
        } else {
            *failed = s.name;
            return rc;
        }
    }
    return RC_OK;
}

Json profile_to_json(const Profile& profile) {
    Json settings_json = Json::object();
    for (const auto& [s, value] : profile.settings) settings_json[s->name] = value;
    Json skipped = Json::object();
    for (const auto& [s, reason] : profile.skipped) skipped[s->name] = reason;
    return Json{{"format", kProfileFormat},
                {"display",
                 {{"serial", profile.display.serial},
                  {"monitor_type", profile.display.monitor_type},
                  {"sdk_version", profile.display.sdk_version}}},
                {"settings", settings_json},
                {"skipped", skipped}};
}

bool profile_from_json(const Json& json, Profile* profile, std::string* error) {
    if (!json.is_object() || !json.contains("format") || json["format"] != kProfileFormat) {
        *error = std::string("not a settings profile (\"format\" must be \"") + kProfileFormat + "\")";
        return false;
    }
    if (json.contains("display") && json["display"].is_object()) {
        const Json& d = json["display"];
        if (d.contains("serial") && d["serial"].is_string()) profile->display.serial = d["serial"];
        if (d.contains("monitor_type") && d["monitor_type"].is_number_integer())
            profile->display.monitor_type = d["monitor_type"];
        if (d.contains("sdk_version") && d["sdk_version"].is_string()) profile->display.sdk_version = d["sdk_version"];
    }
    if (!json.contains("settings") || !json["settings"].is_object()) {
        *error = "the profile has no \"settings\" object";
        return false;
    }
    const Json& given = json["settings"];
    for (const auto& [name, value] : given.items())
        if (find_setting(name) == nullptr) {
            *error = "no setting named '" + shown(name) + "' (see quorvexctl list)";
            return false;
        }
    // Restore order, whatever the order in the file.
    for (const Setting& s : settings()) {
        if (!given.contains(s.name)) continue;
        const Json& value = given[s.name];
        if (s.writable && !check_value(s, value, error)) return false;
        profile->settings.emplace_back(&s, value);
    }
    if (json.contains("skipped") && json["skipped"].is_object())
        for (const auto& [name, reason] : json["skipped"].items())
            if (const Setting* s = find_setting(name); s != nullptr && reason.is_string())
                profile->skipped.emplace_back(s, reason.get<std::string>());
    return true;
}

}  // namespace qvctl
