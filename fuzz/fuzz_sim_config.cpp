// The QUORVEX_SIMULATE text and the state file the simulated displays keep. The input is a
// configuration text, optionally followed by a NUL and the content of a state file. Any bytes
// are either refused with a reason or give a configuration within the documented limits, and
// that configuration, written out again in the same language, reads back the same. A state
// file's content is either refused with one line (and leaves the displays as they were) or
// loaded, and the state written out then loads again into new displays and is written out the
// same.
#include <map>
#include <string>
#include <vector>
#include <string_view>

#include "fuzz_support.h"
#include "sim/sim_bus.h"
#include "sim/sim_config.h"
#include "sim/sim_state_file.h"

namespace {

std::string written_out(const qv::sim::SimConfig& config) {
    std::string text = "displays=" + std::to_string(config.displays.size());
    text += config.virtual_clock ? ",clock=virtual" : ",clock=real";
    if (!config.state_file.empty()) text += ",state=" + config.state_file;
    if (!config.displays.empty() && config.displays[0].calibration_seconds)
        text += ",calibration-seconds=" + std::to_string(*config.displays[0].calibration_seconds);
    for (std::size_t k = 0; k < config.displays.size(); ++k) {
        const qv::sim::FirmwareConfig& d = config.displays[k];
        const std::string n = std::to_string(k + 1);
        text += ",type" + n + "=" + std::to_string(d.monitor_type) + ",serial" + n + "=" + d.serial + ",mode" + n + "=" + d.mode +
                ",refuse-chunk" + n + "=" + std::to_string(d.refuse_chunk);
    }
    return text;
}

bool same(const qv::sim::SimConfig& a, const qv::sim::SimConfig& b) {
    if (a.virtual_clock != b.virtual_clock || a.state_file != b.state_file || a.displays.size() != b.displays.size())
        return false;
    for (std::size_t k = 0; k < a.displays.size(); ++k) {
        const auto& x = a.displays[k];
        const auto& y = b.displays[k];
        if (x.serial != y.serial || x.monitor_type != y.monitor_type || x.mode != y.mode ||
            x.calibration_seconds != y.calibration_seconds || x.refuse_chunk != y.refuse_chunk)
            return false;
    }
    return true;
}

}  // namespace

static void check_state(const qv::sim::SimConfig& config, std::string_view content) {
    // Displays as the configuration counts them (what else it says is not in a state file),
    // and their factory state, worked out once for each count.
    static qv::sim::VirtualClock clock;
    static std::map<std::size_t, std::string> factory_states;
    const std::vector<qv::sim::FirmwareConfig> displays(config.displays.size());
    qv::sim::SimBus bus(displays, clock);
    auto [known, fresh] = factory_states.try_emplace(displays.size());
    if (fresh) known->second = qv::sim::state_text(bus);
    const std::string& factory = known->second;
    std::string error;
    if (!qv::sim::load_state_text(content, bus, &error)) {
        QV_FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos, "a refusal in other than one line: '%s'",
                      error.c_str());
        // A text that is not JSON never reaches the displays; one that is must leave them as
        // they were when a value in it is refused.
        if (error.rfind("line ", 0) != 0)
            QV_FUZZ_CHECK(qv::sim::state_text(bus) == factory, "a refused state changed the displays");
        return;
    }
    const std::string written = qv::sim::state_text(bus);
    qv::sim::SimBus again(displays, clock);
    QV_FUZZ_CHECK(qv::sim::load_state_text(written, again, &error), "the state written out is refused: %s", error.c_str());
    QV_FUZZ_CHECK(qv::sim::state_text(again) == written, "the state written out reads back otherwise");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = text.find('\0');
    const std::string_view state = nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1);
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    qv::sim::SimConfig config;
    std::string error;
    if (!qv::sim::parse_sim_config(text, &config, &error)) {
        QV_FUZZ_CHECK(!error.empty(), "a refused text without a reason");
        return 0;
    }
    QV_FUZZ_CHECK(config.displays.size() <= 4, "%zu displays", config.displays.size());
    for (const auto& d : config.displays) {
        QV_FUZZ_CHECK(d.serial.size() == 10, "serial '%s'", d.serial.c_str());
        QV_FUZZ_CHECK(d.mode == "none" || d.mode.find('x') != std::string::npos, "mode '%s'", d.mode.c_str());
        QV_FUZZ_CHECK(d.refuse_chunk >= 0, "refuse-chunk %d", d.refuse_chunk);
    }
    qv::sim::SimConfig again;
    const std::string canonical = written_out(config);
    QV_FUZZ_CHECK(qv::sim::parse_sim_config(canonical, &again, &error), "'%s' refused: %s", canonical.c_str(), error.c_str());
    QV_FUZZ_CHECK(same(config, again), "'%s' reads back otherwise", canonical.c_str());
    if (nul != std::string_view::npos) check_state(config, state);
    return 0;
}
