// The command-line tool's settings-profile reader (`quorvexctl restore`): any text is either
// refused with a reason or read into a profile whose every value the tool's own checks accept,
// and that profile, written out again, reads back the same. Then the profile is restored as
// `restore` does it, onto a display that accepts everything and answers every read with zeros:
// every value is shown as `--dry-run` shows it and written through the tool's codecs and the
// library, which must give one of the header's codes.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "profile.h"
#include "settings.h"

namespace {

bool same(const qvctl::Profile& a, const qvctl::Profile& b) {
    return a.display.serial == b.display.serial && a.display.monitor_type == b.display.monitor_type &&
           a.display.sdk_version == b.display.sdk_version && a.settings == b.settings && a.skipped == b.skipped;
}

// A display that answers every read with a reply of zeros (status 0: accepted).
bool zeros(void*, std::vector<uint8_t>* bytes, int*) {
    *bytes = qvfuzz::framed(std::vector<uint8_t>(184, 0));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const qvctl::Json json = qvctl::Json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    qvctl::Profile profile;
    std::string error;
    if (!qvctl::profile_from_json(json, &profile, &error)) {
        QV_FUZZ_CHECK(!error.empty(), "a refused profile without a reason");
        return 0;
    }
    for (const auto& [setting, value] : profile.settings) {
        QV_FUZZ_CHECK(setting != nullptr, "a setting without its description");
        if (setting->writable) {
            std::string why;
            QV_FUZZ_CHECK(qvctl::check_value(*setting, value, &why), "%s: %s", setting->name.c_str(), why.c_str());
        }
    }
    qvctl::Profile again;
    const qvctl::Json written = qvctl::profile_to_json(profile);
    QV_FUZZ_CHECK(qvctl::profile_from_json(written, &again, &error), "the profile written out is refused: %s",
                  error.c_str());
    QV_FUZZ_CHECK(same(profile, again), "the profile written out reads back otherwise: %s", written.dump().c_str());

    qvfuzz::ScriptedBus& bus = qvfuzz::start_library();
    qvfuzz::connected(static_cast<uint8_t>(profile.display.monitor_type));
    bus.script(zeros, nullptr);
    for (const auto& [setting, value] : profile.settings) {
        if (!setting->writable) continue;
        static_cast<void>(qvctl::format_value(*setting, value));
        const int rc = qvctl::write_setting(*setting, value);
        QV_FUZZ_CHECK(qvfuzz::documented_result(rc), "%s: write_setting returned %d", setting->name.c_str(), rc);
    }
    bus.script(nullptr, nullptr);
    return 0;
}
