// The displays' readings as Prometheus metrics (text exposition format 0.0.4).
#include "metrics.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

#include "quorvex.h"

namespace qv::settings {

namespace {

// How a setting's value becomes a metric.
enum class Shape {
    number,  // the value, times `scale`
    named,   // the value, with a label `name` holding another setting's value (`label_setting`)
    record,  // always 1, with the record's fields as labels
};

struct MetricRow {
    const char* metric;
    const char* help;
    const char* setting;
    Shape shape = Shape::number;
    double scale = 1;
    const char* label_setting = nullptr;
};

// Every setting a reading round reads, and the metric it becomes. All are gauges; hours the
// display counts are exported in seconds.
constexpr MetricRow kRows[] = {
    {"quorvex_display_backlight_seconds", "Backlight operating time the display reports, in seconds (its hours x 3600).",
     "backlight-hours", Shape::number, 3600},
    {"quorvex_display_calibration_seconds",
     "Operating time the display counts for calibration, in seconds (its calibration hours x 3600).", "calibration-hours",
     Shape::number, 3600},
    {"quorvex_display_calibration_alert_limit", "The calibration alert limit as the display reports it.",
     "calibration-alert-limit"},
    {"quorvex_display_calibration_enabled", "The display's calibration setting (1 on, 0 off).", "calibration"},
    {"quorvex_display_calibration_schedule_info", "The display's calibration schedule, its fields as labels.",
     "calibration-schedule", Shape::record},
    {"quorvex_display_luminance_candelas_per_square_meter", "The display's luminance setting, in cd/m2.", "luminance"},
    {"quorvex_display_color_space", "The active colour space's number; its name in the label name.", "color-space",
     Shape::named, 1, "color-space-name"},
    {"quorvex_display_test_pattern", "The display's test pattern status.", "test-pattern"},
};

// ---- the text format

void escape(std::string* out, std::string_view text, bool quotes) {
    for (const char c : text) {
        if (c == '\\') *out += "\\\\";
        else if (c == '\n') *out += "\\n";
        else if (c == '"' && quotes) *out += "\\\"";
        else out->push_back(c);
    }
}

// A label name from a field's name: letters, digits and underscores.
std::string label_name(std::string_view field) {
    std::string name;
    if (field.empty() || (field[0] >= '0' && field[0] <= '9')) name.push_back('_');
    for (const char c : field) name.push_back((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_');
    return name;
}

std::string label_value(const Json& value) { return value.is_string() ? value.get<std::string>() : value.dump(); }

std::string number_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

using Labels = std::vector<std::pair<std::string, std::string>>;

// Writes one metric family: its HELP and TYPE before its first sample (none without samples).
class Family {
public:
    Family(std::string* out, const char* name, const char* type, const char* help)
        : out_(*out), name_(name), type_(type), help_(help) {}
    void sample(const Labels& labels, double value) {
        if (!started_) {
            out_ += "# HELP ";
            out_ += name_;
            out_ += ' ';
            escape(&out_, help_, false);
            out_ += "\n# TYPE ";
            out_ += name_;
            out_ += ' ';
            out_ += type_;
            out_ += '\n';
            started_ = true;
        }
        out_ += name_;
        if (!labels.empty()) {
            out_ += '{';
            for (std::size_t i = 0; i < labels.size(); ++i) {
                if (i > 0) out_ += ',';
                out_ += labels[i].first;
                out_ += "=\"";
                escape(&out_, labels[i].second, true);
                out_ += '"';
            }
            out_ += '}';
        }
        out_ += ' ';
        out_ += number_text(value);
        out_ += '\n';
    }

private:
    std::string& out_;
    const char* name_;
    const char* type_;
    const char* help_;
    bool started_ = false;
};

const Json* reading(const DisplayMetrics& d, const char* setting) {
    if (d.readings == nullptr) return nullptr;
    const auto values = d.readings->find("values");
    if (values == d.readings->end() || !values->is_object()) return nullptr;
    const auto value = values->find(setting);
    return value == values->end() ? nullptr : &*value;
}

void write_row(std::string* out, const MetricRow& row, const std::vector<DisplayMetrics>& displays) {
    Family family(out, row.metric, "gauge", row.help);
    for (const DisplayMetrics& d : displays) {
        const Json* value = reading(d, row.setting);
        if (value == nullptr) continue;
        Labels labels = {{"serial", d.serial}};
        switch (row.shape) {
            case Shape::number:
                if (value->is_number()) family.sample(labels, value->get<double>() * row.scale);
                break;
            case Shape::named: {
                const Json* name = reading(d, row.label_setting);
                labels.emplace_back("name", name == nullptr ? std::string() : label_value(*name));
                if (value->is_number()) family.sample(labels, value->get<double>() * row.scale);
                break;
            }
            case Shape::record:
                if (!value->is_object()) break;
                for (const auto& [field, field_value] : value->items()) labels.emplace_back(label_name(field), label_value(field_value));
                family.sample(labels, 1);
                break;
        }
    }
}

// A gauge with one sample per display that has a value for it, labelled by serial.
template <class Value>
void per_display(std::string* out, const char* name, const char* help, const std::vector<DisplayMetrics>& displays,
                 Value value) {
    Family family(out, name, "gauge", help);
    for (const DisplayMetrics& d : displays)
        if (const std::optional<double> v = value(d)) family.sample({{"serial", d.serial}}, *v);
}

}  // namespace

const std::vector<const Setting*>& metric_settings() {
    static const std::vector<const Setting*> settings = [] {
        std::vector<const Setting*> chosen;
        for (const Setting& s : all())
            for (const MetricRow& row : kRows)
                if (s.name == row.setting || (row.label_setting != nullptr && s.name == row.label_setting)) {
                    chosen.push_back(&s);
                    break;
                }
        return chosen;
    }();
    return settings;
}

bool take_readings(const Profile* golden, Json* readings, Failure* failure) {
    Json values = Json::object();
    for (const Setting* s : metric_settings()) {
        Json value;
        const int rc = read(*s, &value);
        if (rc == RC_OK) {
            values[s->name] = std::move(value);
        } else if (!refused_by_state(rc)) {
            *failure = {s->name, rc, describe_rc(rc)};
            return false;
        }
    }
    *readings = {{"values", std::move(values)}};
    if (golden != nullptr) {
        ApplyOptions check;
        check.check = true;
        std::size_t differences = 0;
        for (const ApplyEntry& e : apply(*golden, check).settings) {
            if (e.result == "failed") {
                *failure = {e.setting->name, RC_FAILED, e.reason};
                return false;
            }
            ++differences;
        }
        (*readings)["goldenDifferences"] = differences;
    }
    return true;
}

double unix_seconds_now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string exposition(const std::vector<DisplayMetrics>& displays, const ServiceMetrics& service) {
    std::string out;
    {
        Family info(&out, "quorvex_display_info", "gauge", "The display's identity: serial number, monitor type, firmware.");
        for (const DisplayMetrics& d : displays)
            info.sample({{"serial", d.serial}, {"monitor_type", d.monitor_type}, {"firmware", d.firmware}}, 1);
    }
    per_display(&out, "quorvex_display_up", "1 when the last reading round reached the display, else 0.", displays,
                [](const DisplayMetrics& d) { return std::optional<double>(d.up ? 1 : 0); });
    for (const MetricRow& row : kRows) write_row(&out, row, displays);
    {
        Family job(&out, "quorvex_display_job_running", "gauge", "1 while a job (such as a calibration run) runs on the display.");
        for (const DisplayMetrics& d : displays)
            if (d.job) job.sample({{"serial", d.serial}, {"action", *d.job}}, d.job->empty() ? 0 : 1);
    }
    per_display(&out, "quorvex_display_readings_age_seconds", "Seconds since the readings shown were taken.", displays,
                [](const DisplayMetrics& d) { return d.age_seconds; });
    per_display(&out, "quorvex_display_readings_timestamp_seconds", "Unix time of the last successful reading round.",
                displays, [](const DisplayMetrics& d) { return d.taken_unix_seconds; });
    per_display(&out, "quorvex_display_golden_differences", "Settings of the golden profile that differ on the display.",
                displays, [](const DisplayMetrics& d) -> std::optional<double> {
                    if (d.readings == nullptr) return std::nullopt;
                    const auto differences = d.readings->find("goldenDifferences");
                    if (differences == d.readings->end() || !differences->is_number()) return std::nullopt;
                    return differences->get<double>();
                });
    Family(&out, "quorvex_read_errors_total", "counter", "Reading rounds that failed.")
        .sample({}, static_cast<double>(service.read_errors));
    if (service.last_success_unix_seconds)
        Family(&out, "quorvex_last_successful_read_timestamp_seconds", "gauge", "Unix time of the last successful reading round.")
            .sample({}, *service.last_success_unix_seconds);
    Family(&out, "quorvex_scrape_duration_seconds", "gauge", "Seconds taken to produce this exposition.")
        .sample({}, std::chrono::duration<double>(std::chrono::steady_clock::now() - service.started).count());
    return out;
}

}  // namespace qv::settings
