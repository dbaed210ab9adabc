// The QUORVEX_SIMULATE text: any bytes are either refused with a reason or give a
// configuration within the documented limits, and that configuration, written out again in
// the same language, reads back the same.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "sim/sim_config.h"

namespace {

std::string written_out(const qv::sim::SimConfig& config) {
    std::string text = "displays=" + std::to_string(config.displays.size());
    text += config.virtual_clock ? ",clock=virtual" : ",clock=real";
    if (!config.state_file.empty()) text += ",state=" + config.state_file;
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
        if (x.serial != y.serial || x.monitor_type != y.monitor_type || x.mode != y.mode || x.refuse_chunk != y.refuse_chunk)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
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
    return 0;
}
