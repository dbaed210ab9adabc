// scan, info, list, get, set, dump, restore, apply, clone, diff: the settings layer's results, shown.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host_file.h"
#include "metrics.h"
#include "output.h"
#include "quorvex.h"
#include "verbs.h"

namespace qvctl {

namespace {

namespace st = qv::settings;

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

// Writes a profile to the connected display (or with `dry_run` says what it would write).
int apply_profile(const Options& opt, const st::Profile& profile, const char* verb) {
    const st::RestoreReport report = st::restore(profile, opt.dry_run);
    if (opt.dry_run && !opt.json)
        for (const auto& [s, value] : profile.settings)
            for (const std::string& name : report.written)
                if (name == s->name) outf("would set %s %s\n", name.c_str(), st::format_value(*s, value).c_str());
    for (const st::Failure& f : report.failed) fail(kExitPartial, std::string(verb) + ": " + f.setting + ": " + f.reason);
    if (opt.json)
        print_json(st::to_json(report));
    else if (!opt.quiet)
        for (const auto& [name, reason] : report.skipped) outf("%s: %s skipped: %s\n", verb, name.c_str(), reason.c_str());
    if (!opt.json && !opt.dry_run && !opt.quiet)
        outf("%s: %zu settings written, %zu failed\n", verb, report.written.size(), report.failed.size());
    return report.failed.empty() ? kExitOk : kExitPartial;
}

int dump_failure(const st::Failure& f) { return fail_rc("dump: read " + f.setting, f.rc); }

// A profile from a file ('-': standard input); a usage failure when it is not one.
int load_profile(const std::string& file, st::Profile* profile) {
    std::ostringstream text;
    if (file == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream stream(file, std::ios::binary);
        if (!stream) return fail(kExitUsage, "cannot read " + shown(file) + ": " + std::strerror(errno));
        text << stream.rdbuf();
    }
    std::string error;
    if (!st::parse_profile(text.str(), profile, &error)) return fail(kExitUsage, shown(file) + ": " + error);
    return kExitOk;
}

}  // namespace

bool parse_number(const std::string& what, const std::string& text, long low, long high, long* value, int* status) {
    Json parsed;
    std::string error;
    Setting shape{};
    shape.name = what;
    shape.type = st::ValueType::s16;
    shape.low = static_cast<int>(low);
    shape.high = static_cast<int>(high);
    if (!st::value_from_words(shape, {text}, &parsed, &error)) {
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

int run_list(const Options& opt, bool limits) {
    if (limits) {
        print_json(st::limits_json());
        return kExitOk;
    }
    if (opt.json) {
        print_json(st::describe());
        return kExitOk;
    }
    for (const Setting& s : st::all()) {
        const std::string& needs = s.set_needs.empty() ? s.get_needs : s.set_needs;
        outf("%-30s %-10s %s%s\n", s.name.c_str(), st::access_text(s.row->access), st::values_text(s).c_str(),
             needs.empty() ? "" : ("  [needs " + needs + "]").c_str());
    }
    return kExitOk;
}

int run_get(const Options& opt, const std::vector<std::string>& names) {
    std::vector<const Setting*> chosen;
    int status = kExitOk;
    for (const std::string& name : names) {
        const Setting* s = named(name, &status);
        if (s == nullptr) return status;
        if (!s->readable)
            return fail(kExitUsage, s->name + " cannot be read (" + st::access_text(s->row->access) + ")");
        chosen.push_back(s);
    }
    return on_display(opt, [&](int) {
        Json values = Json::object();
        for (const Setting* s : chosen) {
            Json value;
            if (const int rc = st::read(*s, &value); rc != RC_OK)
                return fail_rc("read " + s->name, rc, needs_of(*s, false));
            if (opt.json)
                values[s->name] = value;
            else
                outf("%s = %s\n", s->name.c_str(), st::format_value(*s, value).c_str());
        }
        if (opt.json) print_json(values);
        return static_cast<int>(kExitOk);
    });
}

int run_set(const Options& opt, const std::string& name, const std::vector<std::string>& words) {
    int status = kExitOk;
    const Setting* s = named(name, &status);
    if (s == nullptr) return status;
    if (s->type == st::ValueType::action)
        return fail(kExitUsage, s->name + " is an action and takes no value; see quorvexctl --help for its verb");
    if (!s->writable) return fail(kExitUsage, s->name + " cannot be changed (" + st::access_text(s->row->access) + ")");
    Json value;
    std::string error;
    if (!st::value_from_words(*s, words, &value, &error)) return fail(kExitUsage, error);
    return on_display(opt, [&](int) {
        if (const int rc = st::write(*s, value); rc != RC_OK) return fail_rc("set " + s->name, rc, needs_of(*s, true));
        return static_cast<int>(kExitOk);
    });
}

int run_dump(const Options& opt, const std::string& file) {
    return on_display(opt, [&](int) {
        st::Profile profile;
        st::Failure failure;
        if (!st::dump(&profile, &failure)) return dump_failure(failure);
        const std::string text = st::to_json(profile).dump(2) + "\n";
        if (file.empty() || file == "-") {
            out(text);
            return static_cast<int>(kExitOk);
        }
        if (const int error = replace_file(file, text); error != 0) return fail_host("dump: cannot write", file, error);
        return static_cast<int>(kExitOk);
    });
}

int run_restore(const Options& opt, const std::string& file) {
    st::Profile profile;
    if (const int status = load_profile(file, &profile); status != kExitOk) return status;
    if (opt.dry_run) return apply_profile(opt, profile, "restore");
    return on_display(opt, [&](int) { return apply_profile(opt, profile, "restore"); });
}

int run_apply(const Options& opt, const std::string& file, const std::vector<std::string>& include,
              const std::vector<std::string>& exclude, bool check) {
    int status = kExitOk;
    for (const auto* names : {&include, &exclude})
        for (const std::string& name : *names)
            if (named(name, &status) == nullptr) return status;
    st::Profile profile;
    if (const int loaded = load_profile(file, &profile); loaded != kExitOk) return loaded;
    return on_display(opt, [&](int) {
        const st::ApplyReport report = st::apply(profile, {include, exclude, check});
        auto side = [](const st::ApplyEntry& e, const Json& v) {
            return v.is_null() ? std::string("(unreadable)") : st::format_value(*e.setting, v);
        };
        for (const st::ApplyEntry& e : report.settings) {
            if (e.result == "failed")
                fail(kExitPartial, "apply: " + e.setting->name + ": " + e.reason);
            else if (!opt.json && !opt.quiet)
                outf("%s%s: %s -> %s\n", check ? "would change " : "", e.setting->name.c_str(),
                     side(e, e.from).c_str(), side(e, e.to).c_str());
        }
        if (opt.json) {
            print_json(st::to_json(report));
        } else if (!opt.quiet) {
            std::string left_out;
            for (const std::string& name : report.left_out) left_out += (left_out.empty() ? "" : ", ") + name;
            if (!left_out.empty()) outf("apply: left alone: %s (name one with --include to apply it)\n", left_out.c_str());
            std::size_t failed = 0;
            for (const st::ApplyEntry& e : report.settings) failed += e.result == "failed" ? 1 : 0;
            if (report.settings.empty())
                outf("apply: the display matches the profile\n");
            else if (!check)
                outf("apply: %zu settings changed, %zu failed\n", report.settings.size() - failed, failed);
        }
        if (report.failed()) return static_cast<int>(kExitPartial);
        return check && report.changed() ? static_cast<int>(kExitDiffer) : static_cast<int>(kExitOk);
    });
}

int run_clone(const Options& opt, int source, int destination) {
    std::vector<std::string> serials;
    if (const int status = scan_displays(&serials); status != kExitOk) return status;
    if (source == destination) return fail(kExitUsage, "clone: source and destination are the same slot");
    if (const int status = connect_slot(source, serials.size()); status != kExitOk) return status;
    st::Profile profile;
    st::Failure failure;
    const bool read = st::dump(&profile, &failure);
    disconnect();
    if (!read) return dump_failure(failure);
    if (const int status = connect_slot(destination, serials.size()); status != kExitOk) return status;
    const int status = apply_profile(opt, profile, "clone");
    disconnect();
    return status;
}

int run_diff(const Options& opt, const std::string& a, const std::string& b) {
    if (a == "-" && b == "-") return fail(kExitUsage, "diff: standard input can be read once only");
    st::Profile profiles[2];
    const std::string* sources[2] = {&a, &b};
    bool live = false;
    for (int i = 0; i < 2; ++i) {
        if (*sources[i] != "display") {
            if (const int status = load_profile(*sources[i], &profiles[i]); status != kExitOk) return status;
            continue;
        }
        if (live) return fail(kExitUsage, "diff: name the display once");
        live = true;
        const int status = on_display(opt, [&](int) {
            st::Failure failure;
            return st::dump(&profiles[i], &failure) ? static_cast<int>(kExitOk) : dump_failure(failure);
        });
        if (status != kExitOk) return status;
    }
    const Json differences = st::diff(profiles[0], profiles[1]);
    if (opt.json) {
        print_json(differences);
    } else if (!opt.quiet) {
        for (const Json& d : differences) {
            const Setting& s = *find_setting(d["name"].get<std::string>());
            auto side = [&](const Json& v) { return v.is_null() ? std::string("(absent)") : st::format_value(s, v); };
            outf("%s: %s -> %s\n", s.name.c_str(), side(d["a"]).c_str(), side(d["b"]).c_str());
        }
    }
    return differences.empty() ? kExitOk : kExitDiffer;
}

int run_metrics(const Options& opt, const std::string& golden_file) {
    st::ServiceMetrics service;
    service.started = std::chrono::steady_clock::now();
    st::Profile golden;
    if (!golden_file.empty())
        if (const int loaded = load_profile(golden_file, &golden); loaded != kExitOk) return loaded;
    std::vector<std::string> serials;
    if (const int status = scan_displays(&serials); status != kExitOk) return status;
    std::size_t first = 0, last = serials.size();
    if (opt.target_given) {
        int slot = 0;
        if (const int status = connect_target(opt.target, &slot); status != kExitOk) return status;
        disconnect();
        first = static_cast<std::size_t>(slot);
        last = first + 1;
    }
    // A display that cannot be read is shown down, with the reason on standard error; the
    // exposition is written all the same (a collector's file must say the display is down).
    std::vector<Json> readings(last - first);
    std::vector<st::DisplayMetrics> displays;
    for (std::size_t i = first; i < last; ++i) {
        st::DisplayMetrics d;
        d.serial = serials[i];
        if (connect_slot(static_cast<int>(i), serials.size()) == kExitOk) {
            d.monitor_type = std::to_string(gu8MonitorType);
            Json firmware;
            if (st::read(*find_setting("firmware-revision"), &firmware) == RC_OK && firmware.is_string()) d.firmware = firmware;
            st::Failure failure;
            d.up = st::take_readings(golden_file.empty() ? nullptr : &golden, &readings[i - first], &failure);
            if (d.up) {
                d.readings = &readings[i - first];
                d.age_seconds = 0;
                d.taken_unix_seconds = service.last_success_unix_seconds = st::unix_seconds_now();
            } else {
                fail(kExitDisplay, "metrics: " + d.serial + ": " + failure.setting + ": " + failure.reason);
            }
            disconnect();
        }
        if (!d.up) ++service.read_errors;
        displays.push_back(std::move(d));
    }
    out(st::exposition(displays, service));
    return kExitOk;
}

}  // namespace qvctl
