// The metrics over HTTP (libmicrohttpd): GET /metrics and a landing page at /. The HTTP server
// runs on the daemon's own event loop (its epoll descriptor watched there), so a scrape reads
// the kept readings on the loop's thread, with no lock and no wait on a display.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "metrics_service.h"

namespace quorvexd {

namespace {

constexpr const char* kLandingPage =
    "<!DOCTYPE html>\n<html><head><title>quorvexd</title></head><body>\n"
    "<h1>quorvexd</h1>\n<p>The Quorvex displays this daemon serves, as Prometheus metrics: "
    "<a href=\"/metrics\">/metrics</a>.</p>\n</body></html>\n";

// Bounds of the HTTP side: scrapers are few; a slow or idle one is dropped.
constexpr unsigned kMaxConnections = 32;
constexpr unsigned kIdleSeconds = 10;

MHD_Result send_text(MHD_Connection* connection, unsigned status, const std::string& body, const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// ADDR:PORT, [ADDR6]:PORT.
bool parse_address(const std::string& text, sockaddr_storage* address, bool* ipv6) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size()) return false;
    std::string host = text.substr(0, colon);
    unsigned long port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + static_cast<unsigned long>(text[i] - '0');
        if (port > 65535) return false;
    }
    *address = {};
    *ipv6 = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (*ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(port));
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &a->sin6_addr) == 1;
    }
    auto* a = reinterpret_cast<sockaddr_in*>(address);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, host.c_str(), &a->sin_addr) == 1;
}

}  // namespace

struct MetricsHttp::Impl {
    Server& server;
    const Metrics& metrics;
    MHD_Daemon* daemon = nullptr;
    int epoll_fd = -1;
    std::optional<Clock::time_point> next;  // when MHD asked to be run at the latest

    static MHD_Result handle(void* cls, MHD_Connection* connection, const char* url, const char* method,
                             const char* /*version*/, const char* /*upload_data*/, std::size_t* upload_size,
                             void** /*state*/) {
        const Impl& impl = *static_cast<const Impl*>(cls);
        if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
            *upload_size = 0;
            return send_text(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are served here.\n", "text/plain");
        }
        if (std::strcmp(url, "/metrics") == 0)
            return send_text(connection, MHD_HTTP_OK, impl.metrics.exposition(), qv::settings::kMetricsContentType);
        if (std::strcmp(url, "/") == 0) return send_text(connection, MHD_HTTP_OK, kLandingPage, "text/html; charset=utf-8");
        return send_text(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics.\n", "text/plain");
    }

    // Lets MHD do what is ready, then runs it again when its timeouts ask.
    void run() {
        MHD_run(daemon);
        MHD_UNSIGNED_LONG_LONG ms = 0;
        if (MHD_get_timeout(daemon, &ms) != MHD_YES) return;
        const auto when = Clock::now() + std::chrono::milliseconds(std::min<MHD_UNSIGNED_LONG_LONG>(ms, 1000));
        if (next && *next <= when) return;
        next = when;
        server.at(when, [this, when] {
            if (!next || *next != when) return;  // a sooner run took its place
            next.reset();
            run();
        });
    }
};

MetricsHttp::MetricsHttp(Server& server, const Metrics& metrics) : impl_(new Impl{server, metrics, nullptr, -1, std::nullopt}) {}

MetricsHttp::~MetricsHttp() {
    if (impl_->daemon == nullptr) return;
    impl_->server.unwatch(impl_->epoll_fd);
    MHD_stop_daemon(impl_->daemon);
}

bool MetricsHttp::listen(const std::string& text) {
    sockaddr_storage address{};
    bool ipv6 = false;
    if (!parse_address(text, &address, &ipv6)) {
        log_info("--metrics-listen %s: not an ADDRESS:PORT (such as 127.0.0.1:9465 or [::1]:9465)", text.c_str());
        return false;
    }
    const unsigned flags = MHD_USE_EPOLL | (ipv6 ? static_cast<unsigned>(MHD_USE_IPv6) : 0u);
    impl_->daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::handle, impl_.get(), MHD_OPTION_SOCK_ADDR,
                                     reinterpret_cast<sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
                                     MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_END);
    if (impl_->daemon == nullptr) {
        log_info("cannot serve the metrics on %s: %s", text.c_str(), std::strerror(errno));
        return false;
    }
    const MHD_DaemonInfo* epoll = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_EPOLL_FD);
    const MHD_DaemonInfo* port = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    impl_->epoll_fd = epoll->epoll_fd;
    impl_->server.watch(impl_->epoll_fd, [this] { impl_->run(); });
    const std::string host = text.substr(0, text.rfind(':'));
    log_info("serving the metrics on http://%s:%u/metrics", host.c_str(), static_cast<unsigned>(port->port));
    return true;
}

}  // namespace quorvexd
