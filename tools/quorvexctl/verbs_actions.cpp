// The display's actions: reset, power, menu lock, presets, markers, calibration runs, test
// patterns, and the mode readouts of `status`.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

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

// The table row of a setting the tool knows by name.
const qv::SettingRow& row(const char* name) { return *qv::find_row(name); }

constexpr const char* kCalibrationOn = "calibration on";
constexpr const char* kTestPatternOn = "test-pattern mode on";

int unknown(const std::string& verb, const std::string& what, const char* valid) {
    return fail(kExitUsage, verb + ": '" + shown(what) + "' is not one of " + valid);
}

}  // namespace

int run_factory_reset(const Options& opt) {
    if (!opt.yes && isatty(STDIN_FILENO) == 1) {
        std::fprintf(stderr, "Reset every setting of the display to its factory value? [y/N] ");
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes") return fail(kExitUsage, "factory reset not confirmed");
    }
    return act(opt, "factory-reset", [] { return row("factory-reset").action(); });
}

int run_power_off_processor(const Options& opt) {
    return act(opt, "power-off-processor", [] { return row("internal-processor-power-off").action(); });
}

int run_lock_menu(const Options& opt, const std::string& code) {
    long value = 0;
    int status = kExitOk;
    if (!parse_number("lock-menu", code, 0, 255, &value, &status)) return status;
    return act(opt, "lock-menu", [&] { return row("management-menu-lock").set_u8(static_cast<uint8_t>(value)); });
}

int run_preset(const Options& opt, const std::string& what, const std::string& number) {
    if (what != "load" && what != "save") return unknown("preset", what, "load, save");
    const Setting* s = find_setting(what == "load" ? "load-user-preset" : "save-user-preset");
    long value = 0;
    int status = kExitOk;
    if (!parse_number("preset " + what, number, s->low, s->high, &value, &status)) return status;
    return act(opt, "preset " + what, [&] { return write_setting(*s, Json(value)); });
}

int run_clear_markers(const Options& opt) {
    if (opt.pip)
        return act(opt, "clear-markers --pip", ClearPIPMarkers, qv::guard::marker_pip.needs);
    return act(opt, "clear-markers", ClearMarkers, qv::guard::marker_main.needs);
}

int run_calibrate(const Options& opt, const std::string& what, const std::vector<std::string>& args) {
    const std::string calibration = kCalibrationOn;
    auto no_arguments = [&](int (*fn)() noexcept, const char* task, const std::string& needs = {}) {
        if (!args.empty()) return fail(kExitUsage, "calibrate " + what + " takes no arguments");
        return act_waiting(opt, "calibrate " + what, task, fn, needs);
    };
    if (what == "recalibrate") return no_arguments(RecalibrateActivePreset, "recalibrate the active preset", calibration);
    if (what == "validate-xml") return no_arguments(ValidateTintwisecalXML, "validate its XML calibration description");
    if (what == "position-colorimeter") return no_arguments(PositionColorimeter, "position its colorimeter");
    if (what == "xml") return no_arguments(PerformTintwiseCalibration, "run the XML-driven calibration", calibration);
    if (what == "align") {
        if (!args.empty()) return fail(kExitUsage, "calibrate align takes no arguments");
        // The alignment answers a missing precondition with "invalid argument".
        return act_waiting(opt, "calibrate align", "align its internal calibration device", [] {
            const int rc = AlignInternalCalibrationDevice();
            return rc == RC_INVALID_ARGUMENT ? RC_NOT_ALLOWED : rc;
        }, "calibration on and the external instrument allowed");
    }
    if (what == "mode") {
        if (!args.empty()) return fail(kExitUsage, "calibrate mode takes no arguments");
        return act(opt, "calibrate mode", [&] {
            const int rc = GetCalibrationMode();
            if (rc == RC_OK) opt.json ? out("{\"calibration_mode\": 0}\n") : out("calibration mode: 0\n");
            return rc;
        });
    }
    if (what == "configure") {
        // Colour space, three preset targets and the luminance, as the display defines them.
        static constexpr struct {
            const char* name;
            long low, high;
        } kTargets[] = {{"color-space", 1, 8}, {"option2", 1, 6}, {"option3", 1, 4}, {"option4", 1, 6}, {"luminance", 48, 250}};
        if (args.size() != 5)
            return fail(kExitUsage, "calibrate configure COLOR-SPACE OPTION2 OPTION3 OPTION4 LUMINANCE (5 numbers)");
        uint8_t v[5];
        for (std::size_t i = 0; i < 5; ++i) {
            long value = 0;
            int status = kExitOk;
            if (!parse_number(std::string("calibrate configure ") + kTargets[i].name, args[i], kTargets[i].low,
                              kTargets[i].high, &value, &status))
                return status;
            v[i] = static_cast<uint8_t>(value);
        }
        return act_waiting(opt, "calibrate configure", "calibrate the configured preset",
                           [&] { return ConfigureAndCalibratePreset(v[0], v[1], v[2], v[3], v[4]); }, calibration);
    }
    return unknown("calibrate", what, "recalibrate, configure, align, validate-xml, position-colorimeter, xml, mode");
}

int run_test_pattern(const Options& opt, const std::string& what, const std::vector<std::string>& args) {
    const std::string mode_on = kTestPatternOn;
    auto expect = [&](std::size_t n, const char* usage) {
        return args.size() == n ? kExitOk : fail(kExitUsage, std::string("usage: quorvexctl test-pattern ") + usage);
    };
    if (what == "on") {
        if (const int s = expect(0, "on"); s != kExitOk) return s;
        return act(opt, "test-pattern on", EnableTestPattern);
    }
    if (what == "off") {
        if (const int s = expect(0, "off"); s != kExitOk) return s;
        return act(opt, "test-pattern off", DisableTestPattern);
    }
    if (what == "color") {
        if (const int s = expect(3, "color RED GREEN BLUE"); s != kExitOk) return s;
        long rgb[3];
        const char* names[] = {"red", "green", "blue"};
        for (int i = 0; i < 3; ++i) {
            int status = kExitOk;
            if (!parse_number(std::string("test-pattern color ") + names[i], args[static_cast<std::size_t>(i)], 0, 255,
                              &rgb[i], &status))
                return status;
        }
        return act(opt, "test-pattern color", [&] {
            return ShowTestPatternforUserMode(static_cast<int16_t>(rgb[0]), static_cast<int16_t>(rgb[1]),
                                              static_cast<int16_t>(rgb[2]));
        }, mode_on);
    }
    if (what == "pattern") {
        if (const int s = expect(1, "pattern 0..9"); s != kExitOk) return s;
        long number = 0;
        int status = kExitOk;
        if (!parse_number("test-pattern pattern", args[0], 0, 9, &number, &status)) return status;
        return act(opt, "test-pattern pattern", [&] { return ShowTestPatternServiceMode(static_cast<uint32_t>(number)); },
                   mode_on);
    }
    return unknown("test-pattern", what, "on, off, color, pattern");
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
