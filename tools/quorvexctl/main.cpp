// quorvexctl: every setting, action and file transfer of a Quorvex display from the shell.
//
// Rooms: main.cpp (options and verbs), output.* (the tool's own output and exit statuses),
// host_file.* (files the tool writes itself, such as a dump), verbs_*.cpp (the verbs; settings,
// values and profiles come from the settings layer in settings/), transfer.cpp and progress.*
// (file transfers, and the notice of a long calibration run), service.cpp (the verbs spoken
// through quorvexd: watch, lock).
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "output.h"
#include "quorvex.h"
#include "verbs.h"

#ifndef QUORVEXCTL_VERSION
#define QUORVEXCTL_VERSION "unknown"
#endif

namespace {

using namespace qvctl;

int print_version() {
    char library[8] = {};
    GetSdkVersion(library);
    outf("quorvexctl %s (library %s)\n", QUORVEXCTL_VERSION, library);
    return kExitOk;
}

struct Words {
    std::string a, b, file;
    std::vector<std::string> list;
    int source = 0, destination = 0;
};

// Every name an option of `app` answers to, "--json" and "-q" alike.
std::vector<std::string> option_names(const CLI::App* app) {
    std::vector<std::string> names;
    for (const CLI::Option* o : app->get_options()) {
        for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
        for (const std::string& n : o->get_snames()) names.push_back("-" + n);
    }
    return names;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

// Says what was not understood and what would have been: the verbs, or the options of the
// verb given (and the global ones), with the closest one when it looks like a slip.
int unexpected(const CLI::App& app, const CLI::App* verb, const std::vector<std::string>& words) {
    std::vector<std::string> verbs;
    for (const CLI::App* sub : app.get_subcommands({})) verbs.push_back(sub->get_name());
    std::vector<std::string> options = option_names(&app);
    if (verb != nullptr)
        for (const std::string& n : option_names(verb))
            if (n != "--help" && n != "-h") options.push_back(n);
    const std::string& word = words.front();
    const std::string quoted = "'" + shown(word, 64) + "'";
    auto suggestion = [&](const std::vector<std::string>& valid) {
        const std::string near = closest(word, valid);
        return near.empty() ? std::string() : "; did you mean '" + near + "'?";
    };
    if (word.size() > 1 && word[0] == '-') {
        const std::string of = verb != nullptr ? "quorvexctl " + verb->get_name() : "quorvexctl";
        return fail(kExitUsage, quoted + " is not an option of " + of + suggestion(options) + " (options: " +
                                    listed(options) + ")");
    }
    if (verb == nullptr)
        return fail(kExitUsage, quoted + " is not a verb" + suggestion(verbs) + " (verbs: " + listed(verbs) + ")");
    return fail(kExitUsage, verb->get_name() + " does not take " + quoted + " (see quorvexctl " + verb->get_name() +
                                " --help)");
}

int parse_and_run(int argc, char** argv) {
    CLI::App app{"Read and change the settings of a Quorvex reference display over USB."};
    app.name("quorvexctl");
    app.require_subcommand(0, 1);
    app.fallthrough();  // global options may follow the verb
    Options opt;
    std::string simulate;
    bool verbose = false;
    bool version = false;
    app.add_option("--simulate", simulate,
                   "Use simulated displays instead of USB; optional configuration such as "
                   "displays=2,state=FILE (default: $QUORVEX_SIMULATE, else displays=1)")
        ->expected(0, 1);
    app.add_flag("-v,--verbose", verbose, "Show the library's diagnostic lines (on standard error)");
    app.add_flag("--json", opt.json, "Print results as JSON");
    app.add_flag("-q,--quiet", opt.quiet, "Print nothing but errors");
    CLI::Option* serial = app.add_option("--serial", opt.target.serial, "Display with this serial number");
    app.add_option("-d,--display", opt.target.slot, "Display slot from the scan, 0..2")
        ->check(CLI::Range(0, 2))
        ->excludes(serial);
    app.add_flag("-V,--version", version, "Print the tool's and the library's version");

    Words w;
    std::vector<std::pair<CLI::App*, std::function<int()>>> verbs;
    auto verb = [&](const char* name, const char* help, std::function<int()> run) {
        CLI::App* sub = app.add_subcommand(name, help);
        verbs.emplace_back(sub, std::move(run));
        return sub;
    };
    verb("scan", "List the displays on the bus", [&] { return run_scan(opt); });
    verb("info", "Serial number, monitor type, SDK and firmware version of a display", [&] { return run_info(opt); });
    verb("status", "The display's mode readouts (timing, PIP, DCI, marker support, test pattern)",
         [&] { return run_status(opt); });
    bool limits = false;
    verb("list", "List every setting: name, access, valid values, what it needs", [&] { return run_list(opt, limits); })
        ->add_flag("--profile-limits", limits, "Print the bounds a profile is read within, as JSON");
    verb("get", "Read settings: get luminance date-time", [&] { return run_get(opt, w.list); })
        ->add_option("names", w.list, "Setting names")
        ->required();
    CLI::App* set = verb("set", "Change a setting: set luminance 120, set date-time year=2026 month=12",
                         [&] { return run_set(opt, w.a, w.list); });
    set->add_option("name", w.a, "Setting name")->required();
    set->add_option("values", w.list, "The value, or field=value pairs of a record")->required();
    verb("dump", "Write every readable setting as a JSON profile (to FILE or standard output)",
         [&] { return run_dump(opt, w.file); })
        ->add_option("file", w.file, "Profile file ('-' for standard output)");
    CLI::App* restore = verb("restore", "Write the settings of a profile to the display",
                             [&] { return run_restore(opt, w.file); });
    restore->add_option("file", w.file, "Profile file ('-' for standard input)")->required();
    restore->add_flag("-n,--dry-run", opt.dry_run, "Print what would be written and write nothing");
    std::vector<std::string> include, exclude;
    bool check = false;
    CLI::App* apply = verb("apply", "Write only the settings of a profile that differ from the display",
                           [&] { return run_apply(opt, w.file, include, exclude, check); });
    apply->add_option("file", w.file, "Profile file ('-' for standard input)")->required();
    apply->add_option("--include", include, "Apply these per-display settings too (network address, clock, names)")
        ->expected(1, -1);
    apply->add_option("--exclude", exclude, "Leave these settings alone")->expected(1, -1);
    apply->add_flag("--check", check, "Print what would change and write nothing; exit 8 when anything would");
    CLI::App* diff = verb("diff", "List the settings that differ between two profiles ('display': the live one)",
                          [&] { return run_diff(opt, w.a, w.b); });
    diff->add_option("a", w.a, "Profile file, '-' for standard input, or display")->required();
    diff->add_option("b", w.b, "Profile file, '-' for standard input, or display")->required();
    CLI::App* clone = verb("clone", "Copy every writable setting from display slot SRC to slot DST",
                           [&] { return run_clone(opt, w.source, w.destination); });
    clone->add_option("source", w.source, "Source slot")->required()->check(CLI::Range(0, 2));
    clone->add_option("destination", w.destination, "Destination slot")->required()->check(CLI::Range(0, 2));
    verb("factory-reset", "Reset every setting to its factory value (asks on a terminal)",
         [&] { return run_factory_reset(opt); })
        ->add_flag("-y,--yes", opt.yes, "Do not ask");
    verb("power-off-processor", "Power off the display's internal management processor",
         [&] { return run_power_off_processor(opt); });
    verb("lock-menu", "Send a management-menu lock code 0..255", [&] { return run_lock_menu(opt, w.a); })
        ->add_option("code", w.a, "Lock code")
        ->required();
    CLI::App* preset = verb("preset", "Load or save user preset 1..4: preset load 2",
                            [&] { return run_preset(opt, w.a, w.b); });
    preset->add_option("what", w.a, "load or save")->required();
    preset->add_option("number", w.b, "Preset 1..4")->required();
    verb("clear-markers", "Clear every marker (of the PIP window with --pip)", [&] { return run_clear_markers(opt); })
        ->add_flag("--pip", opt.pip, "Clear the picture-in-picture window's markers");
    CLI::App* calibrate = verb("calibrate",
                               "Calibration runs: recalibrate, configure CS O2 O3 O4 LUM, align, validate-xml, "
                               "position-colorimeter, xml, mode",
                               [&] { return run_calibrate(opt, w.a, w.list); });
    calibrate->add_option("what", w.a, "Which run")->required();
    calibrate->add_option("arguments", w.list, "Its arguments");
    CLI::App* pattern = verb("test-pattern", "Test patterns: on, off, color R G B, pattern 0..9",
                             [&] { return run_test_pattern(opt, w.a, w.list); });
    pattern->add_option("what", w.a, "on, off, color, pattern")->required();
    pattern->add_option("arguments", w.list, "Levels or pattern number");
    CLI::App* send = verb("send-file", "Upload a file: send-file TYPE PATH (types 0, 1, 2, 7)",
                          [&] { return run_send_file(opt, w.a, w.file); });
    send->add_option("type", w.a, "Upload file type")->required();
    send->add_option("path", w.file, "File to send")->required();
    CLI::App* get_files = verb("get-files", "Download every file of a type: get-files TYPE DIR (types 3, 4, 5, 6, 8)",
                               [&] { return run_get_files(opt, w.a, w.file); });
    get_files->add_option("type", w.a, "Download file type")->required();
    get_files->add_option("directory", w.file, "Existing directory")->required();

    verb("metrics", "Print the readings of the displays as Prometheus metrics (for a textfile collector)",
         [&] { return run_metrics(opt, w.file); })
        ->add_option("--golden", w.file, "Count the settings that differ from this profile")
        ->type_name("FILE");
    verb("watch", "Print every change to the displays quorvexd serves, as it happens (until Ctrl-C)",
         [&] { return run_watch(opt); });
    CLI::App* lock = verb("lock", "Run a command holding a display's lock: lock SERIAL -- COMMAND...",
                          [&] { return run_lock(opt, w.a, w.list); });
    lock->add_option("serial", w.a, "Serial number of the display")->required();
    lock->add_option("command", w.list, "The command and its arguments, after --")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e);
        return kExitOk;
    } catch (const CLI::CallForAllHelp& e) {
        app.exit(e);
        return kExitOk;
    } catch (const CLI::ExtrasError&) {
        const CLI::App* given = nullptr;
        std::vector<std::string> words = app.remaining();
        for (auto& [sub, run] : verbs)
            if (sub->parsed()) {
                given = sub;
                for (const std::string& w : sub->remaining()) words.push_back(w);
            }
        if (!words.empty()) return unexpected(app, given, words);
        return fail(kExitUsage, "unexpected arguments (see quorvexctl --help)");
    } catch (const CLI::ExcludesError&) {
        return fail(kExitUsage, "--display and --serial both choose the display: give one of them");
    } catch (const CLI::ParseError& e) {
        // The parser's own sentence, whole; only an endless value in it is cut short.
        return fail(kExitUsage, shown(e.what(), 400) + " (see quorvexctl --help)");
    }

    if (app.count("--simulate") > 0) {
        std::string setting = simulate;
        if (setting.empty()) {
            const char* env = std::getenv("QUORVEX_SIMULATE");
            setting = env != nullptr && env[0] != '\0' ? env : "displays=1";
        }
        setenv("QUORVEX_SIMULATE", setting.c_str(), 1);
    }
    opt.target_given = app.count("--serial") > 0 || app.count("--display") > 0;
    redirect_library_output(verbose);
    SetLog(verbose ? 1 : 0);

    if (version) return print_version();
    for (auto& [sub, run] : verbs)
        if (sub->parsed()) return run();
    return fail(kExitUsage, "say what to do: a verb such as list, get, set or dump (see quorvexctl --help)");
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (`quorvexctl list | head -1`) makes writes fail with EPIPE,
    // which ends the tool with status 1, instead of killing it.
    std::signal(SIGPIPE, SIG_IGN);
    const int status = parse_and_run(argc, argv);
    disconnect();
    if (!finish_output()) return status == kExitOk ? kExitOutput : status;
    return status;
}
