// How each departure row's value travels through the library's functions: the one piece of
// the settings layer written per function. The bytes are laid out as the row's RecordDesc says.
#pragma once

#include <cstdint>

#include "settings.h"

namespace qv::settings::detail {

struct Call {
    const char* function;  // the getter the row names (or its setter when it has no getter)
    int (*read)(const Setting&, uint8_t* bytes);         // fills the description's bytes
    int (*write)(const Setting&, const uint8_t* bytes);  // nullptr: never written
};

// The call of a departure row; nullptr when no call here takes the row's functions.
const Call* call_of(const SettingRow& row);

}  // namespace qv::settings::detail
