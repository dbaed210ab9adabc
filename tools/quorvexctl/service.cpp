// The verbs that speak to quorvexd's io.quorvex.Display interface rather than to a display:
// watching every change, and running a command while holding a display's lock.
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "gadget_usb/link_wire.h"
#include "output.h"
#include "varlink_client.h"
#include "verbs.h"

namespace qvctl {

namespace {

using quorvexd::Client;
using quorvexd::Reply;

constexpr const char* kDisplay = "io.quorvex.Display.";

volatile sig_atomic_t g_stop = 0;
int g_watch_fd = -1;

void on_stop(int) {
    g_stop = 1;
    if (g_watch_fd >= 0) shutdown(g_watch_fd, SHUT_RD);  // wakes the read at any moment
}

std::string text_of(const Json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) return {};
    return it->is_string() ? it->get<std::string>() : it->dump();
}

// An error of the interface as a sentence, and the exit status it gives.
int fail_service(const std::string& what, const Reply& reply) {
    const Json& p = reply.parameters;
    std::string name = reply.error;
    if (name.rfind(kDisplay, 0) == 0) name.erase(0, std::strlen(kDisplay));
    struct Kind {
        const char* name;
        int status;
    };
    static constexpr Kind kKinds[] = {
        {"NoSuchDisplay", kExitNoDisplay}, {"InvalidValue", kExitUsage},  {"NotAllowed", kExitRefused},
        {"NotSupported", kExitRefused},    {"ReadOnly", kExitRefused},    {"DisplayRefused", kExitDisplay},
        {"DisplayFailed", kExitDisplay},   {"Busy", kExitHeld},           {"Locked", kExitHeld},
    };
    int status = kExitDisplay;
    for (const Kind& k : kKinds)
        if (name == k.name) status = k.status;
    std::string why;
    if (reply.error == quorvexd::kDisconnected) {
        why = "quorvexd closed the connection";
    } else if (name == "Locked") {
        why = "the display is locked by uid " + text_of(p, "uid") + " pid " + text_of(p, "pid");
    } else if (name == "Busy") {
        why = "the display runs job " + text_of(p, "job") + " (" + text_of(p, "action") + ")";
    } else if (name == "NoSuchDisplay") {
        const std::string serial = text_of(p, "serial");
        why = serial.empty() ? "several displays are served: name one by its serial number"
                             : "no display with serial number " + shown(serial) + " is served";
    } else if (reply.error == quorvexd::kInterfaceNotFound || reply.error == quorvexd::kMethodNotFound) {
        why = "this quorvexd does not offer " + text_of(p, "interface") + text_of(p, "method") + " (an older one?)";
    } else if (name == "ReadOnly") {
        why = "quorvexd serves you read-only";
    } else {
        why = name + (p.empty() ? "" : " " + p.dump(-1, ' ', false, Json::error_handler_t::replace));
    }
    return fail(status, what + ": " + why);
}

int no_daemon(const std::string& what, const std::string& reason) {
    return fail(kExitDisplay, what + ": " + reason + " (is quorvexd running?)");
}

// One event as a line: the time it arrived, the display, what happened.
std::string event_line(const Json& e) {
    char clock[16] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    const std::string type = text_of(e, "type");
    std::string line = std::string(clock) + " " + (e.contains("serial") ? text_of(e, "serial") : "-") + " ";
    const std::string who = "uid " + text_of(e, "uid") + " pid " + text_of(e, "pid");
    const std::string job = "job " + text_of(e, "job") + " (" + text_of(e, "action") + ")";
    if (type == "setting-changed") {
        line += text_of(e, "name") + " " + (e.contains("old") ? text_of(e, "old") + " -> " : "-> ") +
                text_of(e, "value") + " by " + who;
        if (e.contains("context")) line += " context " + e["context"].dump(-1, ' ', false, Json::error_handler_t::replace);
    } else if (type == "job-started") {
        line += job + " started";
    } else if (type == "job-progress") {
        char elapsed[32] = "?";
        if (const auto t = e.find("elapsed"); t != e.end() && t->is_number())
            std::snprintf(elapsed, sizeof elapsed, "%.0f", t->get<double>());
        line += job + " " + elapsed + " s";
        if (const std::string waiting = text_of(e, "waitingFor"); !waiting.empty()) line += ", waiting for " + waiting;
    } else if (type == "job-ended") {
        line += job + " ended: result " + text_of(e, "result");
        if (const std::string message = text_of(e, "message"); !message.empty()) line += " (" + message + ")";
    } else if (type == "lock-taken" || type == "lock-released") {
        line += (type == "lock-taken" ? "locked by " : "unlocked by ") + who;
    } else if (type.rfind("display-", 0) == 0) {
        line += type.substr(8);  // added, removed, replugged
    } else {
        line += type + " " + e.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    return line + "\n";
}

}  // namespace

int run_watch(const Options& opt) {
    Client client;
    std::string reason;
    if (!client.connect_to_daemon(&reason)) return no_daemon("watch", reason);
    if (!client.send(std::string(kDisplay) + "Subscribe", Json::object(), true))
        return no_daemon("watch", "cannot write to " + client.path());
    g_watch_fd = client.descriptor();
    struct sigaction action {};
    action.sa_handler = on_stop;  // no SA_RESTART: the wait ends
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    for (;;) {
        Reply reply;
        const Client::Read read = client.receive(&reply, output_descriptor());
        if (g_stop != 0) return kExitOk;
        if (read == Client::Read::kInterrupted) continue;
        if (read == Client::Read::kHangUp) return kExitOutput;  // the reader went away: said by the status
        if (read == Client::Read::kClosed) return fail(kExitDisplay, "watch: quorvexd closed the connection");
        if (!reply.error.empty()) return fail_service("watch", reply);
        const Json& event = reply.parameters.contains("event") ? reply.parameters["event"] : reply.parameters;
        if (opt.json)
            out(event.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
        else if (!opt.quiet)
            out(event_line(event));
        if (!flush_out()) return kExitOutput;
    }
}

int run_lock(const Options& /*opt*/, const std::string& serial, const std::vector<std::string>& command) {
    Client client;
    std::string reason;
    if (!client.connect_to_daemon(&reason)) return no_daemon("lock", reason);
    const Reply locked = client.call(std::string(kDisplay) + "Lock", {{"serial", serial}});
    if (!locked.error.empty()) return fail_service("lock " + shown(serial), locked);
    const std::string token = text_of(locked.parameters, "token");
    flush_out();

    // The command shares the lock through its token; it gets the tool's own standard output
    // and the default signal dispositions back.
    const pid_t child = fork();
    if (child == 0) {
        setenv(qv::link::kLockVariable, token.c_str(), 1);
        std::signal(SIGPIPE, SIG_DFL);
        const int own = output_descriptor();
        if (own != STDOUT_FILENO) {
            dup2(own, STDOUT_FILENO);
            close(own);
        }
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        const int error = errno;
        std::fprintf(stderr, "quorvexctl: lock: cannot run %s: %s\n", shown(command[0]).c_str(), std::strerror(error));
        _exit(error == ENOENT ? 127 : 126);
    }
    if (child < 0) return fail(kExitHostRefused, std::string("lock: cannot start the command: ") + std::strerror(errno));
    // A Ctrl-C is for the command; the tool waits for it and lets go of the display after.
    struct sigaction ignore {}, old_int {}, old_quit {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &old_int);
    sigaction(SIGQUIT, &ignore, &old_quit);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGQUIT, &old_quit, nullptr);

    const Reply unlocked = client.call(std::string(kDisplay) + "Unlock", {{"serial", serial}});
    if (!unlocked.error.empty() && unlocked.error != quorvexd::kDisconnected)
        fail_service("unlock " + shown(serial), unlocked);  // the lock still ends with this connection
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : kExitDisplay;
}

}  // namespace qvctl
