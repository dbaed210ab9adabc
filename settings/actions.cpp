#include "actions.h"

#include "quorvex.h"
#include "text.h"

namespace qv::settings {

namespace {

constexpr const char* kCalibrationOn = "calibration on";
constexpr const char* kTestPatternOn = "test-pattern mode on";

int action_of(const char* row) { return find_row(row)->action(); }

int write_preset(const char* setting, long number) { return write(*find(setting), Json(number)); }

std::vector<ActionArgument> preset_number() {
    const Setting* s = find("load-user-preset");
    return {{"number", s->low, s->high}};
}

std::vector<Action> build() {
    using Args = std::span<const long>;
    const std::vector<ActionArgument> none;
    const std::vector<ActionArgument> rgb = {{"red", 0, 255}, {"green", 0, 255}, {"blue", 0, 255}};
    return {
        {"factory-reset", "factory-reset", none, "", "", [](Args) { return action_of("factory-reset"); }},
        {"power-off-processor", "power-off-processor", none, "", "",
         [](Args) { return action_of("internal-processor-power-off"); }},
        {"lock-menu", "lock-menu", {{"code", 0, 255}}, "", "",
         [](Args a) { return find_row("management-menu-lock")->set_u8(static_cast<uint8_t>(a[0])); }},
        {"preset-load", "preset load", preset_number(), "", "",
         [](Args a) { return write_preset("load-user-preset", a[0]); }},
        {"preset-save", "preset save", preset_number(), "", "",
         [](Args a) { return write_preset("save-user-preset", a[0]); }},
        {"clear-markers", "clear-markers", none, "", guard::marker_main.needs, [](Args) { return ClearMarkers(); }},
        {"clear-pip-markers", "clear-markers --pip", none, "", guard::marker_pip.needs,
         [](Args) { return ClearPIPMarkers(); }},
        {"recalibrate", "calibrate recalibrate", none, "recalibrate the active preset", kCalibrationOn,
         [](Args) { return RecalibrateActivePreset(); }},
        // Colour space, three preset targets and the luminance, as the display defines them.
        {"calibrate-configure", "calibrate configure",
         {{"color-space", 1, 8}, {"option2", 1, 6}, {"option3", 1, 4}, {"option4", 1, 6}, {"luminance", 48, 250}},
         "calibrate the configured preset", kCalibrationOn,
         [](Args a) {
             return ConfigureAndCalibratePreset(static_cast<uint8_t>(a[0]), static_cast<uint8_t>(a[1]),
                                                static_cast<uint8_t>(a[2]), static_cast<uint8_t>(a[3]),
                                                static_cast<uint8_t>(a[4]));
         }},
        // The alignment answers a missing precondition with "invalid argument".
        {"calibrate-align", "calibrate align", none, "align its internal calibration device",
         "calibration on and the external instrument allowed",
         [](Args) {
             const int rc = AlignInternalCalibrationDevice();
             return rc == RC_INVALID_ARGUMENT ? RC_NOT_ALLOWED : rc;
         }},
        {"calibrate-validate-xml", "calibrate validate-xml", none, "validate its XML calibration description", "",
         [](Args) { return ValidateTintwisecalXML(); }},
        {"calibrate-position-colorimeter", "calibrate position-colorimeter", none, "position its colorimeter", "",
         [](Args) { return PositionColorimeter(); }},
        {"calibrate-xml", "calibrate xml", none, "run the XML-driven calibration", kCalibrationOn,
         [](Args) { return PerformTintwiseCalibration(); }},
        {"calibrate-mode", "calibrate mode", none, "", "", [](Args) { return GetCalibrationMode(); }},
        {"test-pattern-on", "test-pattern on", none, "", "", [](Args) { return EnableTestPattern(); }},
        {"test-pattern-off", "test-pattern off", none, "", "", [](Args) { return DisableTestPattern(); }},
        {"test-pattern-color", "test-pattern color", rgb, "", kTestPatternOn,
         [](Args a) {
             return ShowTestPatternforUserMode(static_cast<int16_t>(a[0]), static_cast<int16_t>(a[1]),
                                               static_cast<int16_t>(a[2]));
         }},
        {"test-pattern-pattern", "test-pattern pattern", {{"number", 0, 9}}, "", kTestPatternOn,
         [](Args a) { return ShowTestPatternServiceMode(static_cast<uint32_t>(a[0])); }},
    };
}

}  // namespace

const std::vector<Action>& actions() {
    static const std::vector<Action> table = build();
    return table;
}

const Action* find_action(std::string_view name) { return find_by(actions(), &Action::name, name); }

const Action* find_action_words(std::string_view words) { return find_by(actions(), &Action::words, words); }

bool action_arguments(const Action& action, const Json& given, std::vector<long>* values, std::string* error,
                      std::string* bad) {
    values->clear();
    if (!given.is_null() && !given.is_object()) {
        *error = "the arguments are not an object";
        return false;
    }
    for (const ActionArgument& arg : action.arguments) {
        const auto v = given.is_object() ? given.find(arg.name) : given.end();
        *bad = arg.name;
        if (!given.is_object() || v == given.end()) {
            *error = action.name + " needs " + arg.name;
            return false;
        }
        if (!v->is_number_integer() || v->get<long>() < arg.low || v->get<long>() > arg.high) {
            *error = arg.name + " must be an integer in " + std::to_string(arg.low) + ".." + std::to_string(arg.high);
            return false;
        }
        values->push_back(v->get<long>());
    }
    if (given.is_object())
        for (const auto& [key, value] : given.items()) {
            bool known = false;
            for (const ActionArgument& arg : action.arguments) known = known || arg.name == key;
            if (!known) {
                *bad = key;
                *error = action.name + " takes no argument '" + shown(key) + "'";
                return false;
            }
        }
    bad->clear();
    return true;
}

}  // namespace qv::settings
