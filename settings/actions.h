// The display's actions by name: resets, power, the menu lock, presets, markers, calibration
// runs and test patterns. One table for every client: quorvexctl's action verbs read their
// arguments and ranges here, quorvexd's Run takes the same actions by name.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings.h"

namespace qv::settings {

struct ActionArgument {
    std::string name;  // "code", "red", "luminance", ...
    long low = 0, high = 0;
};

struct Action {
    // The action's one-word name ("recalibrate", "preset-load", "test-pattern-color"), and the
    // tool's words for it ("calibrate recalibrate", "preset load", "test-pattern color").
    std::string name, words;
    std::vector<ActionArgument> arguments;
    // Long actions (the display may work on them for many minutes): what the caller waits for,
    // "recalibrate the active preset". Empty for an action that answers at once.
    std::string waits_for;
    // What the display's mode must be (empty: nothing).
    std::string needs;
    // The library call, with the arguments in the order above, each within its range.
    int (*run)(std::span<const long> arguments);

    bool long_running() const { return !waits_for.empty(); }
};

const std::vector<Action>& actions();
const Action* find_action(std::string_view name);
const Action* find_action_words(std::string_view words);

// Arguments from a JSON object {"red": 10, ...}: every argument given, each an integer in its
// range, nothing else. False with *error (a sentence) and *bad (the argument's name) otherwise.
bool action_arguments(const Action& action, const Json& given, std::vector<long>* values, std::string* error,
                      std::string* bad);

}  // namespace qv::settings
