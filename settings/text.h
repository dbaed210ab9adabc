// Text from outside (names, values, file names) as it may appear in a message.
#pragma once

#include <string>
#include <string_view>

namespace qv::settings {

// At most a few dozen characters, control characters escaped, and the length of what was left
// out.
std::string shown(std::string_view text);

}  // namespace qv::settings
