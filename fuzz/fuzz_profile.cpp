// The settings layer's profile reader (`quorvexctl restore`): any text is either refused with a
// reason or read into a profile whose every restorable value the layer's own checks accept, and
// that profile, written out again, reads back the same. Then the profile is restored as
// `restore` does it, onto a display that accepts everything and answers every read with zeros:
// every value is shown as `--dry-run` shows it and written through the layer and the library,
// which must give one of the header's codes.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings.h"

namespace {

namespace st = qv::settings;

bool same(const st::Profile& a, const st::Profile& b) {
    return a.display == b.display && a.settings == b.settings && a.skipped == b.skipped;
}

// A display that answers every read with a reply of zeros (status 0: accepted).
bool zeros(void*, std::vector<uint8_t>* bytes, int*) {
    *bytes = qvfuzz::framed(std::vector<uint8_t>(184, 0));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    st::Profile profile;
    std::string error;
    if (!st::parse_profile(text, &profile, &error)) {
        QV_FUZZ_CHECK(!error.empty(), "a refused profile without a reason");
        return 0;
    }
    for (const auto& [setting, value] : profile.settings) {
        QV_FUZZ_CHECK(setting != nullptr, "a setting without its description");
        if (setting->restorable()) {
            std::string why;
            QV_FUZZ_CHECK(st::check_value(*setting, value, &why), "%s: %s", setting->name.c_str(), why.c_str());
        }
    }
    st::Profile again;
    const std::string written = st::to_json(profile).dump();
    QV_FUZZ_CHECK(st::parse_profile(written, &again, &error), "the profile written out is refused: %s", error.c_str());
    QV_FUZZ_CHECK(same(profile, again), "the profile written out reads back otherwise: %s", written.c_str());

    qvfuzz::ScriptedBus& bus = qvfuzz::start_library();
    const st::Json& type = profile.display.contains("monitor_type") ? profile.display["monitor_type"] : st::Json(2);
    qvfuzz::connected(static_cast<uint8_t>(type.is_number_unsigned() ? type.get<unsigned>() : 2u));
    bus.script(zeros, nullptr);
    for (const auto& [setting, value] : profile.settings)
        if (setting->restorable()) static_cast<void>(st::format_value(*setting, value));
    const st::RestoreReport report = st::restore(profile, false);
    for (const st::Failure& f : report.failed)
        QV_FUZZ_CHECK(qvfuzz::documented_result(f.rc), "%s: restore gave %d", f.setting.c_str(), f.rc);
    bus.script(nullptr, nullptr);
    return 0;
}
