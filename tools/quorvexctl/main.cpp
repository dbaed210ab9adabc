// quorvexctl: read a Quorvex display's identity and settings from the command line.
//
// The library prints its diagnostic lines on the C stdout, a few of them whatever its logging
// switch holds. The tool keeps standard output for its own results: it writes them through a
// duplicate of the original descriptor and points descriptor 1 at /dev/null (or, with
// --verbose, at standard error) while the library runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "protocol/command_table.h"
#include "quorvex.h"

namespace {

FILE* g_out = stdout;  // the tool's own output

const char* describe(int rc) {
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

int fail(const std::string& what, int rc) {
    std::fprintf(stderr, "quorvexctl: %s: %s (code %d)\n", what.c_str(), describe(rc), rc);
    return 1;
}

// Sends the library's stdout away from the tool's own output.
void redirect_library_output(bool verbose) {
    std::fflush(stdout);
    const int own = dup(STDOUT_FILENO);
    if (own < 0) return;
    FILE* out = fdopen(own, "w");
    if (out == nullptr) {
        close(own);
        return;
    }
    g_out = out;
    const int target = verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY);
    if (target >= 0) {
        dup2(target, STDOUT_FILENO);
        close(target);
    }
}

struct Options {
    std::string simulate;
    bool simulate_given = false;
    bool verbose = false;
    bool json = false;
    int slot = 0;
};

int run_scan(const Options& opt) {
    char serials[MAX_DISPLAYS * 12] = {};
    const int n = Scan(serials);
    if (n < 0) return n == RC_NO_DEVICES && opt.json ? (std::fprintf(g_out, "[]\n"), 0) : fail("scan", n);
    if (opt.json) {
        nlohmann::json list = nlohmann::json::array();
        for (int i = 0; i < n; ++i) list.push_back({{"slot", i}, {"serial", std::string(serials + 12 * i)}});
        std::fprintf(g_out, "%s\n", list.dump(2).c_str());
    } else {
        for (int i = 0; i < n; ++i) std::fprintf(g_out, "slot %d: serial %s\n", i, serials + 12 * i);
    }
    return 0;
}

// Scan and connect the chosen slot; prints the failure and returns false when it cannot.
bool connect_display(const Options& opt, int* status) {
    char serials[MAX_DISPLAYS * 12] = {};
    const int n = Scan(serials);
    if (n < 0) {
        *status = fail("scan", n);
        return false;
    }
    if (opt.slot >= n) {
        std::fprintf(stderr, "quorvexctl: no display in slot %d (%d found)\n", opt.slot, n);
        *status = 1;
        return false;
    }
    if (const int rc = Connect(static_cast<int8_t>(opt.slot)); rc != RC_OK) {
        Disconnect();
        *status = fail("connect to slot " + std::to_string(opt.slot), rc);
        return false;
    }
    return true;
}

// The library's exported function of a row, found by its name in the loaded library.
template <class Fn>
Fn library_function(const char* name) {
    return name != nullptr ? reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name)) : nullptr;
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

std::string range_text(const qv::SettingRow& row) {
    if (row.departure || row.setter == nullptr || row.kind == qv::Kind::ACTION) return "";
    if ((row.flags & qv::F_NO_RANGE) != 0) return "any";
    std::string text = std::to_string(row.low) + ".." + std::to_string(row.high);
    if (row.step != 0) text += " (multiples of " + std::to_string(row.step) + ")";
    return text;
}

int run_list(const Options& opt) {
    nlohmann::json list = nlohmann::json::array();
    for (const qv::SettingRow& row : qv::kSettings) {
        if (opt.json) {
            list.push_back({{"name", row.cli}, {"access", access_text(row.access)},
                            {"values", range_text(row)}, {"command_line", !row.departure}});
        } else {
            std::fprintf(g_out, "%-28s %-10s %s%s\n", row.cli, access_text(row.access), range_text(row).c_str(),
                         row.departure ? "(library only)" : "");
        }
    }
    if (opt.json) std::fprintf(g_out, "%s\n", list.dump(2).c_str());
    return 0;
}

const qv::SettingRow* plain_row(const std::string& name) {
    const qv::SettingRow* row = qv::find_row(name);
    if (row == nullptr) {
        std::fprintf(stderr, "quorvexctl: no setting named '%s' (see quorvexctl list)\n", name.c_str());
        return nullptr;
    }
    if (row->departure) {
        std::fprintf(stderr, "quorvexctl: '%s' is available through the library only\n", name.c_str());
        return nullptr;
    }
    return row;
}

int run_get(const Options& opt, const std::vector<std::string>& names) {
    std::vector<const qv::SettingRow*> rows;
    for (const std::string& name : names) {
        const qv::SettingRow* row = plain_row(name);
        if (row == nullptr) return 1;
        if (row->getter == nullptr) {
            std::fprintf(stderr, "quorvexctl: '%s' cannot be read\n", name.c_str());
            return 1;
        }
        rows.push_back(row);
    }
    int status = 0;
    if (!connect_display(opt, &status)) return status;
    nlohmann::json values = nlohmann::json::object();
    for (const qv::SettingRow* row : rows) {
        int value = 0;
        int rc = RC_OK;
        if (row->kind == qv::Kind::S16) {
            int16_t v = 0;
            rc = library_function<int (*)(int16_t*)>(row->getter)(&v);
            value = v;
        } else {
            uint8_t v = 0;
            rc = library_function<int (*)(uint8_t*)>(row->getter)(&v);
            value = v;
        }
        if (rc != RC_OK) {
            status = fail(std::string("read ") + row->cli, rc);
            break;
        }
        if (opt.json)
            values[row->cli] = value;
        else
            std::fprintf(g_out, "%s = %d\n", row->cli, value);
    }
    Disconnect();
    if (opt.json && status == 0) std::fprintf(g_out, "%s\n", values.dump(2).c_str());
    return status;
}

int run_set(const Options& opt, const std::string& name, const std::string& value_text) {
    const qv::SettingRow* row = plain_row(name);
    if (row == nullptr) return 1;
    if (row->setter == nullptr) {
        std::fprintf(stderr, "quorvexctl: '%s' cannot be changed\n", name.c_str());
        return 1;
    }
    long value = 0;
    if (row->kind != qv::Kind::ACTION) {
        char* end = nullptr;
        value = std::strtol(value_text.c_str(), &end, 0);
        const long lo = row->kind == qv::Kind::S16 ? INT16_MIN : 0;
        const long hi = row->kind == qv::Kind::S16 ? INT16_MAX : UINT8_MAX;
        if (value_text.empty() || *end != '\0' || value < lo || value > hi) {
            std::fprintf(stderr, "quorvexctl: '%s' is not a value for %s (%s)\n", value_text.c_str(), row->cli,
                         range_text(*row).c_str());
            return 1;
        }
    }
    int status = 0;
    if (!connect_display(opt, &status)) return status;
    int rc = RC_OK;
    if (row->kind == qv::Kind::ACTION)
        rc = library_function<int (*)()>(row->setter)();
    else if (row->kind == qv::Kind::S16)
        rc = library_function<int (*)(int16_t)>(row->setter)(static_cast<int16_t>(value));
    else
        rc = library_function<int (*)(uint8_t)>(row->setter)(static_cast<uint8_t>(value));
    Disconnect();
    if (rc != RC_OK) return fail(std::string("set ") + row->cli, rc);
    return 0;
}

int run_info(const Options& opt) {
    int status = 0;
    if (!connect_display(opt, &status)) return status;
    char serial[11] = {};
    const int serial_rc = GetDisplaySerialNumber(serial);
    const int monitor_type = gu8MonitorType;
    char version[5] = {};
    GetSdkVersion(version);
    Disconnect();
    if (serial_rc != RC_OK) return fail("read the serial number", serial_rc);

    if (opt.json) {
        const nlohmann::json info = {{"slot", opt.slot},
                                     {"serial", serial},
                                     {"monitor_type", monitor_type},
                                     {"sdk_version", version}};
        std::fprintf(g_out, "%s\n", info.dump(2).c_str());
    } else {
        std::fprintf(g_out, "Serial number: %s\n", serial);
        std::fprintf(g_out, "Monitor type:  %d\n", monitor_type);
        std::fprintf(g_out, "SDK version:   %s\n", version);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Read and change the settings of a Quorvex reference display over USB."};
    app.require_subcommand(1);
    Options opt;
    app.add_option("--simulate", opt.simulate,
                   "Use the simulated display instead of USB; optional configuration such as "
                   "displays=3,type=2 (default: $QUORVEX_SIMULATE, else displays=1)")
        ->expected(0, 1);
    app.add_flag("-v,--verbose", opt.verbose, "Show the library's diagnostic lines (on standard error)");
    app.add_flag("--json", opt.json, "Print results as JSON");
    app.add_option("-d,--display", opt.slot, "Display slot from the scan, 0..2")->check(CLI::Range(0, 2));
    CLI::App* info = app.add_subcommand("info", "Serial number, monitor type and SDK version of a display");
    CLI::App* scan = app.add_subcommand("scan", "List the displays on the bus");
    CLI::App* list = app.add_subcommand("list", "List the settings the tool can read and change");
    CLI::App* get = app.add_subcommand("get", "Read settings, e.g. get luminance color-space");
    std::vector<std::string> get_names;
    get->add_option("names", get_names, "Setting names")->required();
    CLI::App* set = app.add_subcommand("set", "Change a setting, e.g. set luminance 120");
    std::string set_name;
    std::string set_value;
    set->add_option("name", set_name, "Setting name")->required();
    set->add_option("value", set_value, "New value (omit for an action)");
    CLI11_PARSE(app, argc, argv);

    if (app.count("--simulate") > 0) {
        std::string setting = opt.simulate;
        if (setting.empty()) {
            const char* env = std::getenv("QUORVEX_SIMULATE");
            setting = env != nullptr && env[0] != '\0' ? env : "displays=1";
        }
        setenv("QUORVEX_SIMULATE", setting.c_str(), 1);
    }
    redirect_library_output(opt.verbose);
    SetLog(opt.verbose ? 1 : 0);

    int status = 0;
    if (info->parsed()) status = run_info(opt);
    if (scan->parsed()) status = run_scan(opt);
    if (list->parsed()) status = run_list(opt);
    if (get->parsed()) status = run_get(opt, get_names);
    if (set->parsed()) status = run_set(opt, set_name, set_value);
    std::fflush(g_out);
    return status;
}
