// Settings profiles: every readable setting of one display, as JSON. The format is written
// down in docs/profile-format.md; this is the only code that knows its keys.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings.h"

namespace qvctl {

inline constexpr const char* kProfileFormat = "quorvex-settings/1";

struct Identity {
    std::string serial;
    int monitor_type = 0;
    std::string sdk_version;
};

struct Profile {
    Identity display;
    std::vector<std::pair<const Setting*, Json>> settings;        // restore order
    std::vector<std::pair<const Setting*, std::string>> skipped;  // refused by mode or type
};

// Reads every readable setting of the connected display. Returns the library's result code
// of a failure that ends the dump (the link, not a refused setting); *failed names it.
int read_profile(Profile* profile, std::string* failed);

Json profile_to_json(const Profile& profile);
// False with *error (and the exit status in *status) for a text that is not a profile.
bool profile_from_json(const Json& json, Profile* profile, std::string* error);

}  // namespace qvctl
