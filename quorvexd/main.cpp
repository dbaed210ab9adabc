// quorvexd: holds the displays' USB claims and lends the displays to every program that asks,
// over a Unix socket speaking Varlink.
#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "gadget_usb/clock.h"
#include "gadget_usb/link_wire.h"
#include "gadget_usb/usb_backend.h"
#include "changes.h"
#include "display_service.h"
#include "display_worker.h"
#include "events.h"
#include "link_service.h"
#include "locks.h"
#include "metrics_service.h"
#include "server.h"
#include "sim/sim_config.h"
#include "settings.h"
#include "sim/virtual_clock.h"

namespace {

using quorvexd::log_info;

quorvexd::Server* g_server = nullptr;

void on_signal(int) {
    if (g_server != nullptr) g_server->stop();
}

bool answers(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// The listening socket at `path` (its folder made when missing), or -1 after saying why.
int listen_at(const std::string& path, mode_t folder_mode, bool system) {
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        log_info("the socket's path is too long: %s", path.c_str());
        return -1;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && mkdir(folder.c_str(), folder_mode) != 0 && errno != EEXIST) {
        log_info("cannot make %s: %s", folder.c_str(), std::strerror(errno));
        return -1;
    }
    if (answers(path)) {
        log_info("another quorvexd already serves %s", path.c_str());
        return -1;
    }
    // Made under a name of its own and renamed into place once it listens: a client that sees
    // the socket can connect.
    const std::string making = path + ".new";
    if (making.size() >= sizeof(sockaddr_un::sun_path)) {
        log_info("the socket's path is too long: %s", path.c_str());
        return -1;
    }
    unlink(making.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, making.c_str());
    const mode_t old = umask(0177);
    const int rc = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    umask(old);
    if (rc != 0 || listen(fd, SOMAXCONN) != 0) {
        log_info("cannot listen on %s: %s", path.c_str(), std::strerror(errno));
        close(fd);
        unlink(making.c_str());
        return -1;
    }
    if (system) {
        // The system's socket: for the members of group quorvex.
        if (const group* g = getgrnam("quorvex"); g == nullptr || chown(making.c_str(), static_cast<uid_t>(-1), g->gr_gid) != 0)
            log_info("the socket %s is not given to group quorvex: %s", path.c_str(),
                     g == nullptr ? "no such group" : std::strerror(errno));
        chmod(making.c_str(), 0660);
    }
    if (rename(making.c_str(), path.c_str()) != 0) {
        log_info("cannot put the socket at %s: %s", path.c_str(), std::strerror(errno));
        close(fd);
        unlink(making.c_str());
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quorvexd: lends the attached Quorvex displays to every program that asks"};
    std::string socket_path;
    bool user = false;
    bool read_only = false;
    int worker_fd = -1;
    app.add_option("--socket", socket_path, "Serve on this socket")->type_name("PATH");
    app.add_flag("--user", user, "Serve the caller's session: $XDG_RUNTIME_DIR/" + std::string(qv::link::kSessionSocket));
    app.add_flag("--read-only", read_only, "Refuse every command that changes a display");
    std::string read_only_group;
    app.add_option("--read-only-group", read_only_group, "Members of this group read but change nothing")
        ->type_name("GROUP");
    app.add_flag("--debug", quorvexd::g_debug, "Log every client and every command (who sent it)");
    std::string metrics_listen, golden_file;
    int metrics_interval = 60;
    app.add_option("--metrics-listen", metrics_listen, "Serve Prometheus metrics over HTTP here, such as 127.0.0.1:9465")
        ->type_name("ADDR:PORT");
    app.add_option("--metrics-interval", metrics_interval, "Seconds between two readings of a display for the metrics")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400));
    app.add_option("--golden", golden_file, "Count the settings of each display that differ from this profile")
        ->type_name("FILE");
    // The daemon starts itself with --worker, once per display (display_worker.h).
    app.add_option("--worker", worker_fd)->group("");
    app.set_version_flag("--version", QUORVEX_VERSION);
    CLI11_PARSE(app, argc, argv);
    if (worker_fd >= 0) return quorvexd::run_display_worker(worker_fd);

    signal(SIGPIPE, SIG_IGN);

    // The golden profile, read once: a profile the settings layer takes, or the daemon does not start.
    std::optional<quorvexd::Json> golden;
    if (!golden_file.empty()) {
        std::ifstream in(golden_file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        qv::settings::Profile parsed;
        std::string why = in ? "" : std::strerror(errno);
        if (why.empty() && !qv::settings::parse_profile(text.str(), &parsed, &why)) why = why.empty() ? "not a profile" : why;
        if (!why.empty()) {
            log_info("--golden %s: %s", golden_file.c_str(), why.c_str());
            return 2;
        }
        golden = quorvexd::Json::parse(text.str());
    }

    std::optional<gid_t> read_only_gid;
    if (!read_only_group.empty()) {
        const group* g = getgrnam(read_only_group.c_str());
        if (g == nullptr) {
            log_info("--read-only-group: no group named %s", read_only_group.c_str());
            return 2;
        }
        read_only_gid = g->gr_gid;
    }

    // The displays: the simulated bus when QUORVEX_SIMULATE describes one, else libusb.
    qv::UsbBackend* backend = nullptr;
    qv::sim::VirtualClock* virtual_clock = nullptr;
    const char* simulate = std::getenv("QUORVEX_SIMULATE");
    const bool simulated = simulate != nullptr && simulate[0] != '\0';
    if (simulated) {
        std::string error;
        backend = qv::sim::environment_bus(simulate, &error);
        if (backend == nullptr) {
            log_info("QUORVEX_SIMULATE='%s' is not valid: %s", qv::sim::shown_text(simulate).c_str(), error.c_str());
            return 2;
        }
        virtual_clock = dynamic_cast<qv::sim::VirtualClock*>(&qv::clock());
    } else {
        backend = &qv::libusb_backend();
    }
    if (const int rc = backend->init(); rc != 0) {
        log_info("cannot start the USB library (%d)", rc);
        return 1;
    }
    quorvexd::Bus bus(*backend, simulated, virtual_clock);

    quorvexd::Server server({"Quorvex", "quorvexd", QUORVEX_VERSION, "https://quorvex.example/quorvexd"});
    g_server = &server;

    std::string created;
    const int activated = sd_listen_fds(1);
    if (activated > 0) {
        for (int fd = SD_LISTEN_FDS_START; fd < SD_LISTEN_FDS_START + activated; ++fd) server.listen_on(fd);
    } else {
        std::string path = socket_path;
        mode_t folder_mode = 0755;
        if (path.empty() && user) {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            if (runtime == nullptr || runtime[0] == '\0') {
                log_info("--user needs XDG_RUNTIME_DIR");
                return 1;
            }
            path = std::string(runtime) + "/" + qv::link::kSessionSocket;
            folder_mode = 0700;
        }
        const bool system = path.empty();
        if (system) path = qv::link::kSystemSocket;
        const int fd = listen_at(path, folder_mode, system);
        if (fd < 0) return 1;
        server.listen_on(fd);
        created = path;
    }

    // Where the display workers find the daemon: the socket it made, or the one systemd passed.
    std::string served_path = created;
    if (served_path.empty() && activated > 0) {
        sockaddr_un address{};
        socklen_t size = sizeof address;
        if (getsockname(SD_LISTEN_FDS_START, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            served_path.assign(address.sun_path, strnlen(address.sun_path, sizeof address.sun_path));
    }
    std::error_code error;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();

    quorvexd::LinkService link(server, bus);
    server.add_interface(&link);
    quorvexd::Events events(server);
    quorvexd::DisplayService displays(server, link, events, {served_path, program, read_only});
    server.add_interface(&displays);
    // Who may change what, and every accepted change told to the subscribers.
    quorvexd::Locks locks(server, displays, events, {read_only, read_only_gid, read_only_group});
    displays.set_locks(&locks);
    link.add_observer(&locks);
    quorvexd::Changes changes(displays, events);
    link.add_observer(&changes);
    std::optional<quorvexd::Metrics> metrics;
    std::optional<quorvexd::MetricsHttp> metrics_http;
    if (!metrics_listen.empty()) {
        metrics.emplace(server, displays, quorvexd::Metrics::Options{std::chrono::seconds(metrics_interval), golden});
        metrics_http.emplace(server, *metrics);
        if (!metrics_http->listen(metrics_listen)) {
            if (!created.empty()) unlink(created.c_str());
            return 1;
        }
    }
    link.rescan();
    // Displays held by other programs, and displays plugged in later, are looked for again.
    std::function<void()> walk = [&] {
        link.rescan();
        server.at(quorvexd::Clock::now() + std::chrono::seconds(2), walk);
    };
    server.at(quorvexd::Clock::now() + std::chrono::seconds(2), walk);

    struct sigaction action {};
    action.sa_handler = on_signal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    log_info("serving on %s%s%s", created.empty() ? "the sockets systemd passed" : created.c_str(),
             read_only ? ", read-only" : "", simulated ? ", simulated displays" : "");
    sd_notify(0, "READY=1");
    server.run();
    sd_notify(0, "STOPPING=1");
    g_server = nullptr;
    if (!created.empty()) unlink(created.c_str());
    return 0;
}
