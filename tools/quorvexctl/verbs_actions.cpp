// The display's actions: reset, power, menu lock, presets, markers, calibration runs, test
// patterns, and the mode readouts of `status`.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>

#include "actions.h"
#include "output.h"
#include "progress.h"
#include "quorvex.h"
#include "settings.h"
#include "verbs.h"

namespace qvctl {

namespace {

// Runs `body` (returning a library result code) on the connected target.
template <class Body>
int act(const Options& opt, const std::string& what, Body body, const std::string& needs = {}) {
    int slot = 0;
    if (const int status = connect_target(opt.target, &slot); status != kExitOk) return status;
    const int rc = body();
    disconnect();
    if (rc != RC_OK) return fail_rc(what, rc, needs);
    return kExitOk;
}

// act() for a run the display may work on for many minutes: meanwhile standard error says
// what the tool waits for and for how long it has (unless --quiet).
template <class Body>
int act_waiting(const Options& opt, const std::string& what, const std::string& task, Body body,
                const std::string& needs = {}) {
    if (opt.quiet) return act(opt, what, body, needs);
    return act(opt, what, [&] {
        WaitNotice notice(what, task);
        const int rc = run_ticking(body, [&] { notice.tick(); }, std::chrono::milliseconds(200));
        notice.clear();
        return rc;
    }, needs);
}

int unknown(const std::string& verb, const std::string& what, const char* valid) {
    return fail(kExitUsage, verb + ": '" + shown(what) + "' is not one of " + valid);
}

// Runs an action of the settings layer's table with the words the command line gave for its
// arguments: one argument is named by the action's words ("preset load"), several by the
// words and the argument ("calibrate configure luminance").
int run_action(const Options& opt, const std::string& words, const std::vector<std::string>& given,
               const std::function<void()>& done = {}) {
    const qv::settings::Action& action = *qv::settings::find_action_words(words);
    std::vector<long> values;
    for (std::size_t i = 0; i < action.arguments.size(); ++i) {
        const auto& arg = action.arguments[i];
        const std::string what = action.arguments.size() == 1 ? words : words + " " + arg.name;
        long value = 0;
        int status = kExitOk;
        if (!parse_number(what, given[i], arg.low, arg.high, &value, &status)) return status;
        values.push_back(value);
    }
    auto body = [&] {
        const int rc = action.run(values);
        if (rc == RC_OK && done) done();
        return rc;
    };
    if (action.long_running()) return act_waiting(opt, words, action.waits_for, body, action.needs);
    return act(opt, words, body, action.needs);
}

}  // namespace

int run_factory_reset(const Options& opt) {
    if (!opt.yes && isatty(STDIN_FILENO) == 1) {
        std::fprintf(stderr, "Reset every setting of the display to its factory value? [y/N] ");
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes") return fail(kExitUsage, "factory reset not confirmed");
    }
    return run_action(opt, "factory-reset", {});
}

int run_power_off_processor(const Options& opt) { return run_action(opt, "power-off-processor", {}); }

int run_lock_menu(const Options& opt, const std::string& code) { return run_action(opt, "lock-menu", {code}); }

int run_preset(const Options& opt, const std::string& what, const std::string& number) {
    if (what != "load" && what != "save") return unknown("preset", what, "load, save");
    return run_action(opt, "preset " + what, {number});
}

int run_clear_markers(const Options& opt) { return run_action(opt, opt.pip ? "clear-markers --pip" : "clear-markers", {}); }

int run_calibrate(const Options& opt, const std::string& what, const std::vector<std::string>& args) {
    const qv::settings::Action* action = qv::settings::find_action_words("calibrate " + what);
    if (action == nullptr)
        return unknown("calibrate", what, "recalibrate, configure, align, validate-xml, position-colorimeter, xml, mode");
    if (what == "configure" && args.size() != action->arguments.size())
        return fail(kExitUsage, "calibrate configure COLOR-SPACE OPTION2 OPTION3 OPTION4 LUMINANCE (5 numbers)");
    if (args.size() != action->arguments.size()) return fail(kExitUsage, "calibrate " + what + " takes no arguments");
    if (what == "mode")
        return run_action(opt, action->words, args,
                          [&] { opt.json ? out("{\"calibration_mode\": 0}\n") : out("calibration mode: 0\n"); });
    return run_action(opt, action->words, args);
}

int run_test_pattern(const Options& opt, const std::string& what, const std::vector<std::string>& args) {
    static const std::map<std::string, const char*> kUsage = {
        {"on", "on"}, {"off", "off"}, {"color", "color RED GREEN BLUE"}, {"pattern", "pattern 0..9"}};
    const auto usage = kUsage.find(what);
    if (usage == kUsage.end()) return unknown("test-pattern", what, "on, off, color, pattern");
    const std::string words = "test-pattern " + what;
    if (args.size() != qv::settings::find_action_words(words)->arguments.size())
        return fail(kExitUsage, std::string("usage: quorvexctl test-pattern ") + usage->second);
    return run_action(opt, words, args);
}

int run_status(const Options& opt) {
    int slot = 0;
    if (const int status = connect_target(opt.target, &slot); status != kExitOk) return status;
    Json status = Json::object();
    char mode[32] = {};
    status["display-mode"] = GetDisplayMode(mode) == RC_OK ? Json(std::string(mode)) : Json(nullptr);
    int16_t width = 0;
    int16_t height = 0;
    status["image-size"] = GetImageAdjustmentMode(&width, &height) == RC_OK ? Json{{"width", width}, {"height", height}}
                                                                            : Json(nullptr);
    uint8_t pip = 0;
    status["pip"] = GetPIPStatus(&pip) == RC_OK ? Json(pip) : Json(nullptr);
    status["pip-resolution"] =
        GetPIPResolution(&width, &height) == RC_OK ? Json{{"width", width}, {"height", height}} : Json(nullptr);
    status["dci-main"] = GetDciMode(3) == RC_OK;
    status["dci-pip"] = GetDciMode(4) == RC_OK;
    status["marker-support"] = CheckMarkerSupport() == RC_OK;
    status["calibration-mode"] = GetCalibrationMode() == RC_OK ? Json(0) : Json(nullptr);
    uint8_t test_pattern = 0;
    status["test-pattern"] = GetTestPatternStatus(&test_pattern) == RC_OK ? Json(test_pattern) : Json(nullptr);
    disconnect();
    if (opt.json) {
        out(status.dump(2) + "\n");
    } else {
        for (const auto& [key, value] : status.items()) {
            std::string text = value.is_object() ? std::to_string(value["width"].get<int>()) + "x" +
                                                       std::to_string(value["height"].get<int>())
                               : value.is_string() ? value.get<std::string>()
                               : value.is_null()   ? "not available"
                                                   : value.dump();
            outf("%-16s %s\n", (key + ":").c_str(), text.c_str());
        }
    }
    return kExitOk;
}

}  // namespace qvctl
