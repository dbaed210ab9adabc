// The metrics' exposition as Prometheus reads it: label values escaped, each family's samples
// together under one HELP and TYPE, hours in seconds, records as labels.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "metrics.h"

namespace {

namespace st = qv::settings;

TEST(Metrics, ExpositionOfTwoDisplays) {
    const st::Json first = {{"values",
                             {{"backlight-hours", 2},
                              {"luminance", 120},
                              {"color-space", 3},
                              {"color-space-name", "DCI \"P3\""},
                              {"calibration-schedule", {{"schedule-status", 1}, {"time-hh", 9}}}}},
                            {"goldenDifferences", 4}};
    const st::Json other = {{"values", {{"luminance", 80}}}};
    std::vector<st::DisplayMetrics> displays(2);
    displays[0] = {"S1", "1", "fw\\1\n\"x\"", true, &first, 5.0, 1700000000.0, std::string("recalibrate")};
    displays[1] = {"S2", "2", "", false, &other, std::nullopt, std::nullopt, std::nullopt};
    const std::string text = st::exposition(displays, {3, 1700000000.0, std::chrono::steady_clock::now()});

    for (const char* line : {
             R"(quorvex_display_info{serial="S1",monitor_type="1",firmware="fw\\1\n\"x\""} 1)",
             R"(quorvex_display_up{serial="S2"} 0)",
             R"(quorvex_display_backlight_seconds{serial="S1"} 7200)",
             R"(quorvex_display_color_space{serial="S1",name="DCI \"P3\""} 3)",
             R"(quorvex_display_calibration_schedule_info{serial="S1",schedule_status="1",time_hh="9"} 1)",
             R"(quorvex_display_luminance_candelas_per_square_meter{serial="S2"} 80)",
             R"(quorvex_display_job_running{serial="S1",action="recalibrate"} 1)",
             R"(quorvex_display_readings_age_seconds{serial="S1"} 5)",
             R"(quorvex_display_golden_differences{serial="S1"} 4)",
             R"(quorvex_read_errors_total 3)",
             "# TYPE quorvex_read_errors_total counter",
         })
        EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << "\nin:\n" << text;
    // What a display did not give is absent, not zero.
    for (const char* absent : {R"(quorvex_display_backlight_seconds{serial="S2"})", R"(golden_differences{serial="S2"})",
                               R"(job_running{serial="S2")", R"(age_seconds{serial="S2"})"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\nin:\n" << text;

    // Each family: HELP, TYPE, then all of its samples, never split.
    std::istringstream lines(text);
    std::string line, family;
    std::set<std::string> seen;
    while (std::getline(lines, line)) {
        if (line.rfind("# HELP ", 0) == 0) {
            family = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_TRUE(seen.insert(family).second) << "a second HELP for " << family << " in:\n" << text;
            continue;
        }
        if (line.rfind("# TYPE ", 0) == 0) continue;
        EXPECT_EQ(line.substr(0, line.find_first_of("{ ")), family) << line;
    }
}

}  // namespace
