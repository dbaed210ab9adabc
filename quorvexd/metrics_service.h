// The displays' metrics: readings taken in the background through each display's worker and
// kept here, so that a scrape never waits on a display and scrapes, however many, cost the
// displays nothing; and the HTTP server that serves them (metrics_http.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "display_service.h"
#include "metrics.h"
#include "server.h"

namespace quorvexd {

class Metrics {
public:
    struct Options {
        std::chrono::seconds interval{60};  // between two reading rounds of one display
        std::optional<Json> golden;         // a settings profile: its differences are counted
    };
    // How often the displays are looked at: a display newly served is read within this.
    static constexpr auto kTick = std::chrono::seconds(1);

    Metrics(Server& server, DisplayService& displays, Options options);
    Metrics(const Metrics&) = delete;
    Metrics& operator=(const Metrics&) = delete;

    // The exposition of the readings kept, now.
    std::string exposition() const;

private:
    struct Kept {
        std::string monitor_type, firmware;
        bool up = false;
        bool reading = false;  // a round asked for and not answered yet
        std::optional<Clock::time_point> asked;
        std::optional<Clock::time_point> taken;
        double taken_unix = 0;
        qv::settings::Json readings;
    };
    void tick();
    void answered(const std::string& serial, const Json& reply);

    Server& server_;
    DisplayService& displays_;
    Options options_;
    Json parameters_ = Json::object();
    std::map<std::string, Kept> kept_;  // every serial served since the daemon started
    uint64_t read_errors_ = 0;
    std::optional<double> last_success_;
    // The workers' answers come through callbacks that may outlive this object.
    std::shared_ptr<Metrics*> self_;
};

// Serves /metrics and a landing page at / over HTTP, on the daemon's event loop.
class MetricsHttp {
public:
    MetricsHttp(Server& server, const Metrics& metrics);
    ~MetricsHttp();
    MetricsHttp(const MetricsHttp&) = delete;
    MetricsHttp& operator=(const MetricsHttp&) = delete;
    // Listens on ADDR:PORT (an IPv4 address, or an IPv6 one in brackets; port 0: any free one).
    // False after logging why.
    bool listen(const std::string& address);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvexd
