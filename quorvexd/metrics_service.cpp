#include "metrics_service.h"

#include <map>
#include <set>

namespace quorvexd {

Metrics::Metrics(Server& server, DisplayService& displays, Options options)
    : server_(server), displays_(displays), options_(std::move(options)), self_(std::make_shared<Metrics*>(this)) {
    if (options_.golden) parameters_["profile"] = *options_.golden;
    server_.at(Clock::now(), [this] { tick(); });
}

void Metrics::tick() {
    const auto now = Clock::now();
    std::set<std::string> served;
    for (const DisplayService::State& state : displays_.states()) {
        served.insert(state.serial);
        Kept& k = kept_[state.serial];
        k.monitor_type = state.monitor_type;
        k.firmware = state.firmware;
        // A display busy with a job keeps its last readings (and its up) until the job ends.
        if (!state.job_action.empty() || k.reading) continue;
        if (!state.ready) {
            k.up = false;
            continue;
        }
        if (k.asked && now - *k.asked < options_.interval) continue;
        const std::weak_ptr<Metrics*> self = self_;
        const std::string serial = state.serial;
        const bool asked = displays_.request_readings(serial, parameters_, [self, serial](const Json& reply) {
            if (const auto alive = self.lock()) (*alive)->answered(serial, reply);
        });
        if (asked) {
            k.reading = true;
            k.asked = now;
        }
    }
    // A display that went away stays listed, down.
    for (auto& [serial, k] : kept_)
        if (served.count(serial) == 0) {
            k.up = false;
        }
    server_.at(now + kTick, [this] { tick(); });
}

void Metrics::answered(const std::string& serial, const Json& reply) {
    Kept& k = kept_[serial];
    k.reading = false;
    if (reply.contains("error")) {
        k.up = false;
        ++read_errors_;
        log_debug("the readings of display %s failed: %s", serial.c_str(), reply.dump().c_str());
        return;
    }
    k.up = true;
    k.readings = qv::settings::Json(reply.value("parameters", Json::object()));
    k.taken = Clock::now();
    k.taken_unix = qv::settings::unix_seconds_now();
    last_success_ = k.taken_unix;
}

std::string Metrics::exposition() const {
    qv::settings::ServiceMetrics service{read_errors_, last_success_, std::chrono::steady_clock::now()};
    const auto now = Clock::now();
    // The jobs as they are now (a job started since the last look shows at once).
    std::map<std::string, std::string> jobs;
    for (const DisplayService::State& state : displays_.states()) jobs[state.serial] = state.job_action;
    std::vector<qv::settings::DisplayMetrics> displays;
    for (const auto& [serial, k] : kept_) {
        qv::settings::DisplayMetrics d;
        d.serial = serial;
        d.monitor_type = k.monitor_type;
        d.firmware = k.firmware;
        d.up = k.up;
        d.job = jobs[serial];
        if (k.taken) {
            d.readings = &k.readings;
            d.age_seconds = std::chrono::duration<double>(now - *k.taken).count();
            d.taken_unix_seconds = k.taken_unix;
        }
        displays.push_back(std::move(d));
    }
    return qv::settings::exposition(displays, service);
}

}  // namespace quorvexd
