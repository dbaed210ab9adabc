// The displays' readings as Prometheus metrics: which settings are read for them, how each
// becomes a metric, and the text exposition format (0.0.4) they are written in. The daemon's
// /metrics and `quorvexctl metrics` both write through here, so the two agree name for name.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings.h"

namespace qv::settings {

// The Content-Type of the exposition.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// The settings one reading round reads, in restore order (each once: one exchange per plain
// setting).
const std::vector<const Setting*>& metric_settings();

// One reading round on the connected display: the metric settings, and with `golden` the number
// of its settings that differ from the display (what `quorvexctl apply --check` would change).
// {"values": {name: value, ...}, "goldenDifferences": N}. A setting the display's state refuses
// is left out; any other failure ends the round: false, with *failure.
bool take_readings(const Profile* golden, Json* readings, Failure* failure);

// What is known of one display when the exposition is written.
struct DisplayMetrics {
    std::string serial, monitor_type, firmware;
    bool up = false;
    const Json* readings = nullptr;          // as take_readings gave them; null: none yet
    std::optional<double> age_seconds;       // since the readings were taken
    std::optional<double> taken_unix_seconds;
    // The action of the job in progress ("" none); nullopt when jobs are not known (no daemon).
    std::optional<std::string> job;
};

struct ServiceMetrics {
    uint64_t read_errors = 0;                    // rounds that failed
    std::optional<double> last_success_unix_seconds;
    std::chrono::steady_clock::time_point started;  // when producing this exposition began
};

// The exposition of every display and of the reader itself.
std::string exposition(const std::vector<DisplayMetrics>& displays, const ServiceMetrics& service);

// Seconds since the epoch, now.
double unix_seconds_now();

}  // namespace qv::settings
