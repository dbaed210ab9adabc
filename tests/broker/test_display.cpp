// io.quorvex.Display from the outside: settings by name, profiles, jobs, files and events on a
// daemon serving two simulated displays, each through its own worker process.
#include <cmath>
#include <map>
#include <regex>
#include <set>

#include "broker/daemon_client.h"
#include "gadget_usb/link_wire.h"
#include "quorvex.h"

namespace {

using qvtest::Daemon;
using qvtest::Json;
using qvtest::Raw;

constexpr const char* kOther = "DISPLAY002";
constexpr const char* kFirst = "QVSIM00001";

std::string display_error(const char* name) { return std::string("io.quorvex.Display.") + name; }

Json call(Raw& raw, const char* method, const Json& parameters = Json::object()) {
    return raw.call(std::string("io.quorvex.Display.") + method, parameters);
}

// The next event of a subscription.
Json next_event(Raw& subscriber) {
    const Json reply = subscriber.receive();
    EXPECT_EQ(reply.value("continues", false), true) << reply;
    return reply.is_object() ? reply["parameters"]["event"] : Json();
}

std::string simulate(const char* extra = "") {
    return std::string("displays=2,serial2=") + kOther + extra;
}

TEST(Display, SettingsByNameOnTwoDisplaysFromTwoClients) {
    Daemon daemon(simulate(",clock=virtual"));
    Raw a(daemon.socket());
    Raw b(daemon.socket());
    const Json displays = daemon.wait_for_displays(2);
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0]["serial"], kFirst);
    EXPECT_EQ(displays[1]["monitorType"], "2");

    EXPECT_EQ(call(b, "Set", {{"serial", kOther}, {"values", {{"luminance", 90}}}, {"context", "test"}}),
              Json({{"parameters", Json::object()}}));
    EXPECT_EQ(call(a, "Get", {{"serial", kOther}, {"names", {"luminance"}}})["parameters"]["values"],
              Json({{"luminance", 90}}));
    EXPECT_EQ(call(a, "Get", {{"serial", kFirst}, {"names", {"luminance"}}})["parameters"]["values"],
              Json({{"luminance", 120}}));

    // Every failure by its name, and the names the interface's description declares.
    std::ifstream file(QUORVEXD_SOURCE "/io.quorvex.Display.varlink");
    std::stringstream text;
    text << file.rdbuf();
    const std::string description =
        a.call("org.varlink.service.GetInterfaceDescription", {{"interface", "io.quorvex.Display"}})["parameters"]["description"];
    EXPECT_EQ(description, text.str());
    std::set<std::string> errors;
    const std::regex declared("^(method|error) ([A-Za-z]+)", std::regex::multiline);
    for (auto it = std::sregex_iterator(description.begin(), description.end(), declared); it != std::sregex_iterator(); ++it) {
        if ((*it)[1] == "error") errors.insert(display_error((*it)[2].str().c_str()));
        else
            EXPECT_NE(call(a, (*it)[2].str().c_str())["error"], "org.varlink.service.MethodNotFound") << (*it)[2];
    }
    const struct {
        const char* method;
        Json parameters;
        const char* error;
    } refusals[] = {
        {"Get", {{"names", {"luminance"}}}, "NoSuchDisplay"},  // two displays: which one?
        {"Get", {{"serial", "NOSUCHONE0"}, {"names", {"luminance"}}}, "NoSuchDisplay"},
        {"Get", {{"serial", kFirst}, {"names", {"brightnesss"}}}, "InvalidValue"},
        {"Set", {{"serial", kFirst}, {"values", {{"luminance", 9999}}}}, "InvalidValue"},
        {"Set", {{"serial", kFirst}, {"values", {{"luminance", "bright"}}}}, "InvalidValue"},
        {"Run", {{"serial", kFirst}, {"action", "fly"}}, "InvalidValue"},
        {"Run", {{"serial", kFirst}, {"action", "lock-menu"}, {"arguments", {{"code", 256}}}}, "InvalidValue"},
        {"Run", {{"serial", kFirst}, {"action", "test-pattern-color"}, {"arguments", {{"red", 1}, {"green", 2}, {"blue", 3}}}},
         "NotAllowed"},
        {"Restore", {{"serial", kFirst}, {"profile", {{"format", "nonsense"}}}}, "InvalidValue"},
    };
    for (const auto& r : refusals) {
        const Json reply = call(a, r.method, r.parameters);
        EXPECT_EQ(reply["error"], display_error(r.error)) << r.method << " " << r.parameters << ": " << reply;
        EXPECT_EQ(errors.count(display_error(r.error)), 1u) << r.error;
    }
    EXPECT_EQ(call(a, "Run", {{"serial", kFirst}, {"action", "test-pattern-color"}, {"arguments", {{"red", 1}, {"green", 2}, {"blue", 3}}}})
                  ["parameters"]["needs"],
              "test-pattern mode on");

    // A daemon serving read-only refuses changes here before any reaches the display.
    Daemon read_only("displays=1,clock=virtual", {"--read-only"});
    Raw r(read_only.socket());
    qvtest::wait_for_displays(r, 1);
    EXPECT_EQ(call(r, "Set", {{"values", {{"luminance", 90}}}})["error"], display_error("ReadOnly"));
    EXPECT_EQ(call(r, "Run", {{"action", "recalibrate"}})["error"], display_error("ReadOnly"));
    EXPECT_EQ(call(r, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
}

TEST(Display, ProfilesRoundTrip) {
    Daemon daemon("displays=1,clock=virtual");
    Raw raw(daemon.socket());
    daemon.wait_for_displays(1);
    const Json profile = call(raw, "Dump")["parameters"]["profile"];  // one display: no serial needed
    ASSERT_TRUE(profile.is_object()) << profile;
    ASSERT_EQ(call(raw, "Set", {{"values", {{"luminance", 100}}}}).count("error"), 0u);
    EXPECT_EQ(call(raw, "Diff", {{"profile", profile}})["parameters"]["differences"],
              Json({{"luminance", {{"a", 120}, {"b", 100}}}}));
    const Json dry = call(raw, "Restore", {{"profile", profile}, {"dryRun", true}})["parameters"]["results"];
    EXPECT_NE(dry.dump().find("luminance"), std::string::npos) << dry;
    EXPECT_EQ(call(raw, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 100);
    const Json done = call(raw, "Restore", {{"profile", profile}})["parameters"]["results"];
    EXPECT_TRUE(done["failed"].empty()) << done;
    EXPECT_EQ(call(raw, "Diff", {{"profile", profile}})["parameters"]["differences"], Json::object());
}

// A real two-second calibration: the other display answers meanwhile, the busy one says which
// job it runs, and the job ends with its event.
// The value of a metric's sample in an exposition (NaN when absent).
double sample(const std::string& exposition, const std::string& series) {
    const std::size_t at = exposition.find("\n" + series + " ");
    return at == std::string::npos ? NAN : std::stod(exposition.substr(at + series.size() + 2));
}

TEST(Display, ACalibrationRunsAsAJobWhileTheOtherDisplayAnswers) {
    // Its metrics too: read every second, and kept while the job holds the display.
    Daemon daemon(simulate(",calibration-seconds=2"), {"--metrics-listen", "127.0.0.1:0", "--metrics-interval", "1"});
    Raw raw(daemon.socket());
    Raw subscriber(daemon.socket());
    daemon.wait_for_displays(2);
    std::smatch listening;
    const std::string log = daemon.log();
    ASSERT_TRUE(std::regex_search(log, listening, std::regex("metrics on http://127.0.0.1:([0-9]+)/metrics"))) << log;
    const int port = std::stoi(listening[1]);
    const std::string up = std::string("quorvex_display_up{serial=\"") + kFirst + "\"}";
    const std::string age = std::string("quorvex_display_readings_age_seconds{serial=\"") + kFirst + "\"}";
    for (int i = 0; i < 300 && sample(qvtest::http_get(port, "/metrics"), up) != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(sample(qvtest::http_get(port, "/metrics"), up), 1);
    subscriber.send({{"method", "io.quorvex.Display.Subscribe"}, {"more", true}});
    call(raw, "List");  // the subscription is in place once a later call was answered
    const Json started = call(raw, "Run", {{"serial", kFirst}, {"action", "recalibrate"}});
    const std::string job = started["parameters"]["job"];
    ASSERT_FALSE(job.empty()) << started;
    EXPECT_EQ(call(raw, "Get", {{"serial", kOther}, {"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    EXPECT_EQ(call(raw, "Get", {{"serial", kFirst}, {"names", {"luminance"}}}),
              Json({{"error", display_error("Busy")}, {"parameters", {{"job", job}, {"action", "recalibrate"}}}}));
    const Json busy = call(raw, "List")["parameters"]["displays"][0];
    EXPECT_EQ(busy["state"], "busy");
    EXPECT_EQ(busy["job"], job);
    const Json running = call(raw, "Jobs")["parameters"]["jobs"][0];
    EXPECT_EQ(running["state"], "running") << "the other display answered only after the calibration: " << running;
    EXPECT_EQ(running["waitingFor"], "recalibrate the active preset");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a reading round already asked for ends
    const std::string during = qvtest::http_get(port, "/metrics");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const std::string later = qvtest::http_get(port, "/metrics");
    EXPECT_EQ(sample(during, std::string("quorvex_display_job_running{serial=\"") + kFirst + "\",action=\"recalibrate\"}"), 1)
        << during;
    EXPECT_EQ(sample(later, up), 1) << "a display busy with a job stays up:\n" << later;
    EXPECT_GE(sample(later, age) - sample(during, age), 1.0) << "the busy display was read:\n" << during << later;

    EXPECT_EQ(next_event(subscriber), Json({{"type", "job-started"}, {"serial", kFirst}, {"job", job}, {"action", "recalibrate"}}));
    Json ended = next_event(subscriber);
    while (ended["type"] == "job-progress") ended = next_event(subscriber);
    EXPECT_EQ(ended, Json({{"type", "job-ended"}, {"serial", kFirst}, {"job", job}, {"action", "recalibrate"}, {"result", 0},
                           {"message", "success"}}));
    const Json over = call(raw, "Jobs")["parameters"]["jobs"][0];
    EXPECT_EQ(over["state"], "succeeded");
    EXPECT_GE(over["elapsed"].get<double>(), 2.0);
    EXPECT_EQ(call(raw, "List")["parameters"]["displays"][0]["state"], "ready");
}

TEST(Display, AFileSentComesBackThroughTheMessages) {
    Daemon daemon("displays=1,clock=virtual");
    Raw raw(daemon.socket());
    Raw subscriber(daemon.socket());
    daemon.wait_for_displays(1);
    subscriber.send({{"method", "io.quorvex.Display.Subscribe"}, {"more", true}});
    call(raw, "List");
    std::string content;
    for (int i = 0; i < 1000; ++i) content += "line " + std::to_string(i) + "\n";
    std::string base64(qv::link::base64_size(content.size()), '\0');
    qv::link::base64_encode(reinterpret_cast<const uint8_t*>(content.data()), content.size(), base64.data());
    const std::string job = call(raw, "SendFile", {{"fileType", 0}, {"content", base64}})["parameters"]["job"];
    Json ended = next_event(subscriber);
    while (ended["type"] != "job-ended") ended = next_event(subscriber);
    EXPECT_EQ(ended["job"], job);
    EXPECT_EQ(ended["result"], 0) << ended;

    raw.send({{"method", "io.quorvex.Display.GetFiles"}, {"parameters", {{"fileType", 4}}}, {"more", true}});
    std::map<std::string, std::string> files;
    for (;;) {
        const Json reply = raw.receive();
        ASSERT_TRUE(reply.contains("parameters")) << reply;
        files[reply["parameters"]["name"]] = reply["parameters"]["content"];
        if (!reply.value("continues", false)) break;
    }
    EXPECT_EQ(files.size(), 2u);  // the display's own report and the file sent
    EXPECT_EQ(files["upload0.txt"], base64);
}

// The daemon's children: its display workers.
std::vector<pid_t> workers_of(pid_t daemon) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == daemon && state != 'Z') children.push_back(std::stoi(entry.path().filename().string()));
    }
    return children;
}

TEST(Display, AWorkerThatEndsFailsItsJobAndIsStartedAgain) {
    Daemon daemon("displays=1,calibration-seconds=1");
    Raw raw(daemon.socket());
    Raw subscriber(daemon.socket());
    daemon.wait_for_displays(1);
    subscriber.send({{"method", "io.quorvex.Display.Subscribe"}, {"more", true}});
    call(raw, "List");
    const std::vector<pid_t> workers = workers_of(daemon.pid());
    ASSERT_EQ(workers.size(), 1u);
    const std::string job = call(raw, "Run", {{"action", "calibrate-xml"}})["parameters"]["job"];
    EXPECT_EQ(next_event(subscriber)["type"], "job-started");
    kill(workers[0], SIGKILL);
    EXPECT_EQ(next_event(subscriber), Json({{"type", "job-ended"}, {"serial", kFirst}, {"job", job}, {"action", "calibrate-xml"},
                                            {"result", RC_EXCHANGE_FAILED}, {"message", "the display's worker ended"}}));
    daemon.wait_for_displays(1);
    EXPECT_EQ(call(raw, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    EXPECT_NE(workers_of(daemon.pid()), workers);
}

// Subscribers that come and go, and one that never reads, cost the daemon nothing lasting.
TEST(Display, SubscribersComeAndGo) {
    Daemon daemon("displays=1,clock=virtual");
    Raw raw(daemon.socket());
    qvtest::wait_for_displays(raw, 1);
    const std::size_t before = daemon.open_descriptors();
    for (int i = 0; i < 1000; ++i) {
        Raw subscriber(daemon.socket());
        subscriber.send({{"method", "io.quorvex.Display.Subscribe"}, {"more", true}});
    }
    EXPECT_EQ(call(raw, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    // The daemon closes each connection once it has read its end.
    for (int i = 0; i < 500 && daemon.open_descriptors() != before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(daemon.open_descriptors(), before);
}

}  // namespace
