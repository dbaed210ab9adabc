// Text from outside (names, values, file names) as it may appear in a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::settings {

// At most `limit` characters, control characters escaped, and the length of what was left out.
std::string shown(std::string_view text, std::size_t limit = 48);

}  // namespace qv::settings
