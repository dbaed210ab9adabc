// The tool's verbs. Each returns the exit status and prints its own failures.
#pragma once

#include <string>
#include <vector>

#include "display.h"
#include "settings.h"

namespace qvctl {

// The settings layer (settings/), as the verbs name it.
using Json = qv::settings::Json;
using qv::settings::Setting;
inline const Setting* find_setting(std::string_view name) { return qv::settings::find(name); }
inline int write_setting(const Setting& s, const Json& value) { return qv::settings::write(s, value); }

struct Options {
    Target target;
    bool json = false;
    bool quiet = false;
    bool yes = false;
    bool dry_run = false;
    bool pip = false;
    bool target_given = false;  // --serial or --display named the display
};

// Settings (verbs_settings.cpp).
int run_scan(const Options& opt);
int run_info(const Options& opt);
int run_list(const Options& opt, bool limits);
int run_get(const Options& opt, const std::vector<std::string>& names);
int run_set(const Options& opt, const std::string& name, const std::vector<std::string>& words);
int run_dump(const Options& opt, const std::string& file);
int run_restore(const Options& opt, const std::string& file);
// Writes only the settings of a profile that differ from the display (per-display settings only
// when included); with `check` says what would change and exits kExitDiffer when anything would.
int run_apply(const Options& opt, const std::string& file, const std::vector<std::string>& include,
              const std::vector<std::string>& exclude, bool check);
int run_clone(const Options& opt, int source, int destination);
// Two profiles, or a profile and the live display (the word `display`); exits kExitDiffer when
// any setting differs.
int run_diff(const Options& opt, const std::string& a, const std::string& b);

// The readings of every display found (or of the one chosen) as Prometheus metrics, once.
int run_metrics(const Options& opt, const std::string& golden);

// Actions (verbs_actions.cpp).
int run_status(const Options& opt);
int run_factory_reset(const Options& opt);
int run_power_off_processor(const Options& opt);
int run_lock_menu(const Options& opt, const std::string& code);
int run_preset(const Options& opt, const std::string& what, const std::string& number);
int run_clear_markers(const Options& opt);
int run_calibrate(const Options& opt, const std::string& what, const std::vector<std::string>& args);
int run_test_pattern(const Options& opt, const std::string& what, const std::vector<std::string>& args);

// File transfers (transfer.cpp).
int run_send_file(const Options& opt, const std::string& type, const std::string& path);
int run_get_files(const Options& opt, const std::string& type, const std::string& directory);

// Through quorvexd (service.cpp): every change as it happens; a command run under a display's
// lock, exiting with the command's status.
int run_watch(const Options& opt);
int run_lock(const Options& opt, const std::string& serial, const std::vector<std::string>& command);

// Shared by the verbs: a decimal number in low..high, or a usage failure naming the range.
bool parse_number(const std::string& what, const std::string& text, long low, long high, long* value, int* status);

}  // namespace qvctl
