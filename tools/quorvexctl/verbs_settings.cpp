// scan, info, list, get, set, dump, restore, clone.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host_file.h"
#include "output.h"
#include "profile.h"
#include "quorvex.h"
#include "verbs.h"

namespace qvctl {

namespace {

void print_json(const Json& json) { out(json.dump(2) + "\n"); }

// Runs `body` on the connected target and disconnects afterwards.
template <class Body>
int on_display(const Options& opt, Body body) {
    int slot = 0;
    if (const int status = connect_target(opt.target, &slot); status != kExitOk) return status;
    const int status = body(slot);
    disconnect();
    return status;
}

const Setting* named(const std::string& name, int* status) {
    const Setting* s = find_setting(name);
    if (s == nullptr) *status = fail(kExitUsage, "no setting named '" + shown(name) + "' (see quorvexctl list)");
    return s;
}

const std::string& needs_of(const Setting& s, bool writing) { return writing ? s.set_needs : s.get_needs; }

// Writes every writable setting of a profile to the connected display, or with `dry_run`
// prints what it would write.
int apply_profile(const Options& opt, const Profile& profile, const char* verb) {
    Json written = Json::array();
    Json failed = Json::object();
    for (const auto& [s, value] : profile.settings) {
        if (!s->writable) continue;
        if (opt.dry_run) {
            if (!opt.json) outf("would set %s %s\n", s->name.c_str(), format_value(*s, value).c_str());
            written.push_back(s->name);
            continue;
        }
        const int rc = write_setting(*s, value);
        if (rc == RC_OK) {
            written.push_back(s->name);
            continue;
        }
        std::string reason = describe(rc);
        const std::string needs = needs_of(*s, true);
        if ((rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED) && !needs.empty()) reason += " (needs " + needs + ")";
        failed[s->name] = reason;
        fail(kExitPartial, std::string(verb) + ": " + s->name + ": " + reason);
    }
    if (opt.json)
        print_json(Json{{"written", written}, {"failed", failed}});
    else if (!opt.dry_run && !opt.quiet)
        outf("%s: %zu settings written, %zu failed\n", verb, written.size(), failed.size());
    return failed.empty() ? kExitOk : kExitPartial;
}

int dump_failure(const std::string& failed, int rc) { return fail_rc("dump: read " + failed, rc); }

}  // namespace

bool parse_number(const std::string& what, const std::string& text, long low, long high, long* value, int* status) {
    Json parsed;
    std::string error;
    Setting shape;
    shape.name = what;
    shape.type = ValueType::s16;
    shape.low = static_cast<int>(low);
    shape.high = static_cast<int>(high);
    if (!parse_value(shape, {text}, &parsed, &error)) {
        *status = fail(kExitUsage, error);
        return false;
    }
    *value = parsed.get<long>();
    return true;
}

int run_scan(const Options& opt) {
    std::vector<std::string> serials;
    char table[MAX_DISPLAYS * 12] = {};
    const int n = Scan(table);
    if (n < 0 && n != RC_NO_DEVICES) return fail_rc("scan", n);
    for (int i = 0; i < n; ++i) serials.emplace_back(table + 12 * i, strnlen(table + 12 * i, 11));
    if (opt.json) {
        Json list = Json::array();
        for (std::size_t i = 0; i < serials.size(); ++i) list.push_back({{"slot", i}, {"serial", serials[i]}});
        print_json(list);
    } else {
        for (std::size_t i = 0; i < serials.size(); ++i) outf("slot %zu: serial %s\n", i, serials[i].c_str());
    }
    // No display is an answer for a script that asks, but still a status of its own.
    return serials.empty() ? fail(kExitNoDisplay, "no display found") : kExitOk;
}

int run_info(const Options& opt) {
    return on_display(opt, [&](int slot) {
        char serial[11] = {};
        if (const int rc = GetDisplaySerialNumber(serial); rc != RC_OK) return fail_rc("read the serial number", rc);
        char version[8] = {};
        GetSdkVersion(version);
        char revision[16] = {};
        const int revision_rc = GetFirmwareRevision(revision);
        const int type = gu8MonitorType;
        if (opt.json) {
            print_json(Json{{"slot", slot},
                            {"serial", serial},
                            {"monitor_type", type},
                            {"sdk_version", version},
                            {"firmware_revision", revision_rc == RC_OK ? Json(revision) : Json(nullptr)}});
        } else {
            outf("Serial number: %s\n", serial);
            outf("Monitor type:  %d\n", type);
            outf("SDK version:   %s\n", version);
            if (revision_rc == RC_OK) outf("Firmware:      %s\n", revision);
        }
        return static_cast<int>(kExitOk);
    });
}

int run_list(const Options& opt) {
    Json list = Json::array();
    for (const Setting& s : settings()) {
        const std::string& needs = s.set_needs.empty() ? s.get_needs : s.set_needs;
        const char* access = access_text(s.row->access);
        if (!opt.json) {
            outf("%-30s %-10s %s%s\n", s.name.c_str(), access, values_text(s).c_str(),
                 needs.empty() ? "" : ("  [needs " + needs + "]").c_str());
            continue;
        }
        Json entry = {{"name", s.name},
                      {"access", access},
                      {"family", qv::family_name(s.row->family)},
                      {"getter", s.row->getter != nullptr ? Json(s.row->getter) : Json(nullptr)},
                      {"setter", s.row->setter != nullptr ? Json(s.row->setter) : Json(nullptr)},
                      {"type", type_text(s.type)},
                      {"values", values_text(s)},
                      {"needs", needs.empty() ? Json(nullptr) : Json(needs)}};
        if (s.type == ValueType::u8 || s.type == ValueType::s16) {
            entry["low"] = s.low;
            entry["high"] = s.high;
            entry["step"] = s.step;
        }
        if (!s.fields.empty()) {
            Json fields = Json::array();
            for (const Field& f : s.fields) {
                Json field = {{"name", f.name}, {"type", field_type_text(f.type)}, {"values", field_values_text(f)}};
                if (f.read_only) field["read-only"] = true;
                if (f.selector) field["selector"] = true;
                fields.push_back(field);
            }
            entry["fields"] = fields;
        }
        list.push_back(entry);
    }
    if (opt.json) print_json(list);
    return kExitOk;
}

int run_get(const Options& opt, const std::vector<std::string>& names) {
    std::vector<const Setting*> chosen;
    int status = kExitOk;
    for (const std::string& name : names) {
        const Setting* s = named(name, &status);
        if (s == nullptr) return status;
        if (!s->readable)
            return fail(kExitUsage, s->name + " cannot be read (" + access_text(s->row->access) + ")");
        chosen.push_back(s);
    }
    return on_display(opt, [&](int) {
        Json values = Json::object();
        for (const Setting* s : chosen) {
            Json value;
            if (const int rc = read_setting(*s, &value); rc != RC_OK)
                return fail_rc("read " + s->name, rc, needs_of(*s, false));
            if (opt.json)
                values[s->name] = value;
            else
                outf("%s = %s\n", s->name.c_str(), format_value(*s, value).c_str());
        }
        if (opt.json) print_json(values);
        return static_cast<int>(kExitOk);
    });
}

int run_set(const Options& opt, const std::string& name, const std::vector<std::string>& words) {
    int status = kExitOk;
    const Setting* s = named(name, &status);
    if (s == nullptr) return status;
    if (s->type == ValueType::action)
        return fail(kExitUsage, s->name + " is an action and takes no value; see quorvexctl --help for its verb");
    if (!s->writable) return fail(kExitUsage, s->name + " cannot be changed (" + access_text(s->row->access) + ")");
    Json value;
    std::string error;
    if (!parse_value(*s, words, &value, &error)) return fail(kExitUsage, error);
    return on_display(opt, [&](int) {
        if (const int rc = write_setting(*s, value); rc != RC_OK) return fail_rc("set " + s->name, rc, needs_of(*s, true));
        return static_cast<int>(kExitOk);
    });
}

int run_dump(const Options& opt, const std::string& file) {
    return on_display(opt, [&](int) {
        Profile profile;
        std::string failed;
        if (const int rc = read_profile(&profile, &failed); rc != RC_OK) return dump_failure(failed, rc);
        const std::string text = profile_to_json(profile).dump(2) + "\n";
        if (file.empty() || file == "-") {
            out(text);
            return static_cast<int>(kExitOk);
        }
        if (const int error = replace_file(file, text); error != 0) return fail_host("dump: cannot write", file, error);
        return static_cast<int>(kExitOk);
    });
}

int run_restore(const Options& opt, const std::string& file) {
    std::ostringstream text;
    if (file == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream stream(file, std::ios::binary);
        if (!stream) return fail(kExitUsage, "cannot read " + shown(file) + ": " + std::strerror(errno));
        text << stream.rdbuf();
    }
    Json json = Json::parse(text.str(), nullptr, false);
    if (json.is_discarded()) return fail(kExitUsage, shown(file) + " is not valid JSON");
    Profile profile;
    std::string error;
    if (!profile_from_json(json, &profile, &error)) return fail(kExitUsage, shown(file) + ": " + error);
    if (opt.dry_run) return apply_profile(opt, profile, "restore");
    return on_display(opt, [&](int) { return apply_profile(opt, profile, "restore"); });
}

int run_clone(const Options& opt, int source, int destination) {
    std::vector<std::string> serials;
    if (const int status = scan_displays(&serials); status != kExitOk) return status;
    if (source == destination) return fail(kExitUsage, "clone: source and destination are the same slot");
    if (const int status = connect_slot(source, serials.size()); status != kExitOk) return status;
    Profile profile;
    std::string failed;
    const int rc = read_profile(&profile, &failed);
    disconnect();
    if (rc != RC_OK) return dump_failure(failed, rc);
    if (const int status = connect_slot(destination, serials.size()); status != kExitOk) return status;
    const int status = apply_profile(opt, profile, "clone");
    disconnect();
    return status;
}

}  // namespace qvctl
