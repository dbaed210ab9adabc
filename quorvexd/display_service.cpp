#include "display_service.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstring>

#include "actions.h"
#include "display_worker.h"
#include "gadget_usb/link_wire.h"
#include "quorvex.h"
#include "settings.h"
#include "text.h"

extern char** environ;

namespace quorvexd {

extern const char* const kDisplayDescription;

namespace {

constexpr std::string_view kPrefix = "io.quorvex.Display.";
// What an upload job waits for.
constexpr const char* kSendFileWaitsFor = "receive the file";

Json failed_params(const std::string& reason) {
    return {{"result", RC_EXCHANGE_FAILED}, {"reason", reason}};
}

// The library result code an error of the interface stands for, for a job's result.
int result_of(const std::string& error, const Json& p) {
    if (p.contains("result") && p["result"].is_number_integer()) return p["result"].get<int>();
    if (error == display_error::kInvalidValue) return RC_INVALID_ARGUMENT;
    if (error == display_error::kNotAllowed) return RC_NOT_ALLOWED;
    if (error == display_error::kNotSupported) return RC_NOT_SUPPORTED;
    return RC_FAILED;
}

std::string message_of(const std::string& error, const Json& p) {
    std::string text = p.value("reason", std::string());
    if (p.contains("needs")) text = "the display's mode does not allow this (needs " + p["needs"].get<std::string>() + ")";
    if (error == display_error::kNotSupported) text = qv::settings::describe_rc(RC_NOT_SUPPORTED);
    return text.empty() ? error : text;
}

double seconds_since(Clock::time_point t, Clock::time_point now = Clock::now()) {
    return std::chrono::duration<double>(now - t).count();
}

}  // namespace

struct DisplayService::Request {
    uint64_t id = 0;
    ConnId conn = 0;  // 0 for a job: nobody waits for the answer
    bool more = false;
    std::string method;
    Json parameters;
    Acting acting;
    std::string job;
    std::function<void(const Json&)> done;  // the daemon's own request: who takes the answer
};

struct DisplayService::Served {
    DisplayId id;
    bool present = true;  // the link service serves it
    std::string serial, monitor_type, firmware;
    bool ready = false;  // its worker is connected and waiting for calls
    pid_t pid = -1;
    int fd = -1;
    std::unique_ptr<MessageReader> reader;
    std::deque<std::unique_ptr<Request>> queue;
    std::unique_ptr<Request> in_flight;
    std::string job;  // the job queued or running on it
    bool unready_reported = false;
};

struct DisplayService::Job {
    std::string id, serial, action, waits_for;
    bool running = true;
    bool started = false;
    Clock::time_point start = Clock::now(), end;
    int result = 0;
    std::string message;
};

DisplayService::DisplayService(Server& server, LinkService& link, Events& events, Options options)
    : server_(server), link_(link), events_(events), options_(std::move(options)) {
    link_.on_display_change([this](DisplayId id, bool served) { display_changed(id, served); });
    link_.set_view([this](const Peer& peer, DisplayId display) {
        for (const auto& d : displays_)
            if (d->pid == peer.pid) return d->id.bus == display.bus && d->id.address == display.address;
        return true;
    });
}

DisplayService::~DisplayService() {
    for (auto& d : displays_) stop_worker(*d, false);
}

const char* DisplayService::name() const { return "io.quorvex.Display"; }
const char* DisplayService::description() const { return kDisplayDescription; }

// ---- the displays and their workers

void DisplayService::display_changed(DisplayId id, bool served) {
    if (served) {
        displays_.push_back(std::make_unique<Served>());
        displays_.back()->id = id;
        start_worker(*displays_.back());
        return;
    }
    for (auto it = displays_.begin(); it != displays_.end(); ++it) {
        Served& d = **it;
        if (d.id.bus != id.bus || d.id.address != id.address) continue;
        d.present = false;
        stop_worker(d, false);
        if (!d.serial.empty()) events_.publish({{"type", "display-removed"}, {"serial", d.serial}});
        displays_.erase(it);
        return;
    }
}

void DisplayService::start_worker(Served& d) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        log_info("cannot start a display worker: %s", std::strerror(errno));
        return;
    }
    // Everything the child needs is made before the fork: it only execs.
    const std::string fd_text = std::to_string(pair[1]);
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        if (entry.starts_with("QUORVEX_SIMULATE=") || entry.starts_with("QUORVEX_SOCKET=") ||
            entry.starts_with("QUORVEX_DIRECT="))
            continue;
        env_text.emplace_back(entry);
    }
    env_text.push_back("QUORVEX_SOCKET=" + options_.socket_path);
    std::vector<char*> env;
    for (std::string& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);
    std::string program = options_.program;
    std::string flag = "--worker";
    std::string fd_arg = fd_text;
    char* argv[] = {program.data(), flag.data(), fd_arg.data(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        fcntl(pair[1], F_SETFD, 0);
        execve(program.c_str(), argv, env.data());
        _exit(127);
    }
    close(pair[1]);
    if (pid < 0) {
        log_info("cannot start a display worker: %s", std::strerror(errno));
        close(pair[0]);
        return;
    }
    fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    d.pid = pid;
    d.fd = pair[0];
    d.reader = std::make_unique<MessageReader>(kWorkerMessageLimit);
    log_debug("display worker %d started for the display at bus %03u address %03u", pid, d.id.bus, d.id.address);
    Served* target = &d;
    server_.watch(d.fd, [this, target] { from_worker(*target); });
}

void DisplayService::stop_worker(Served& d, bool restart) {
    if (d.fd >= 0) {
        server_.unwatch(d.fd);
        close(d.fd);
        d.fd = -1;
    }
    if (d.pid > 0) {
        // A worker may be inside an hour-long library call: it is not waited for.
        kill(d.pid, SIGKILL);
        waitpid(d.pid, nullptr, 0);
        d.pid = -1;
    }
    d.ready = false;
    d.reader.reset();
    // Calls in flight or waiting fail: their display's worker is gone.
    std::deque<std::unique_ptr<Request>> failed = std::move(d.queue);
    d.queue.clear();
    if (d.in_flight) failed.push_front(std::move(d.in_flight));
    const Json error = {{"error", display_error::kDisplayFailed}, {"parameters", failed_params("the display's worker ended")}};
    for (auto& r : failed) answer(d, std::move(r), error);
    d.job.clear();
    if (!restart || !d.present) return;
    const DisplayId id = d.id;
    server_.at(Clock::now() + kRestartAfter, [this, id] {
        for (auto& s : displays_)
            if (s->id.bus == id.bus && s->id.address == id.address && s->present && s->fd < 0) start_worker(*s);
    });
}

void DisplayService::from_worker(Served& d) {
    char buffer[65536];
    bool gone = false;
    for (;;) {
        const ssize_t n = recv(d.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            d.reader->feed(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        gone = true;
        break;
    }
    std::string text;
    bool too_large = false;
    while (d.reader && d.reader->next(&text, &too_large)) {
        const Json message = Json::parse(text, nullptr, false);
        if (!message.is_object()) {
            gone = true;
            break;
        }
        worker_message(d, message);
    }
    if (too_large) gone = true;
    if (gone && d.fd >= 0) {
        if (d.ready) log_info("the worker of display %s ended; starting it again", d.serial.c_str());
        stop_worker(d, true);
    }
}

void DisplayService::worker_message(Served& d, const Json& message) {
    if (const auto ready = message.find("ready"); ready != message.end() && ready->is_object()) {
        const std::string serial = ready->value("serial", std::string());
        // A display's first answer: new, or one served before under this serial (re-plugged).
        // A restarted worker of the same display is neither.
        const bool first = d.serial.empty();
        const bool replugged = first && seen_serials_.count(serial) != 0;
        d.serial = serial;
        d.monitor_type = ready->value("monitorType", std::string());
        d.firmware = ready->value("firmware", std::string());
        d.ready = true;
        d.unready_reported = false;
        seen_serials_.insert(serial);
        if (first) {
            log_info("display %s at bus %03u address %03u answers", serial.c_str(), d.id.bus, d.id.address);
            events_.publish({{"type", replugged ? "display-replugged" : "display-added"}, {"serial", serial}});
        }
        send_next(d);
        return;
    }
    if (const auto unready = message.find("unready"); unready != message.end()) {
        if (!d.unready_reported)
            log_info("the display at bus %03u address %03u does not answer: %s; trying again", d.id.bus, d.id.address,
                     unready->value("reason", std::string()).c_str());
        d.unready_reported = true;
        return;
    }
    if (!d.in_flight || message.value("id", uint64_t{0}) != d.in_flight->id) return;
    answer(d, std::move(d.in_flight), message);
    send_next(d);
}

void DisplayService::submit(Served& d, std::unique_ptr<Request> request) {
    request->id = next_request_++;
    d.queue.push_back(std::move(request));
    send_next(d);
}

void DisplayService::send_next(Served& d) {
    if (d.in_flight || d.queue.empty() || !d.ready) return;
    d.in_flight = std::move(d.queue.front());
    d.queue.pop_front();
    const Request& r = *d.in_flight;
    if (!r.job.empty()) {
        if (Job* found = job(r.job)) {
            Job& job = *found;
            job.start = Clock::now();
            job.started = true;
            events_.publish({{"type", "job-started"}, {"serial", job.serial}, {"job", job.id}, {"action", job.action}});
            const std::string id = job.id;
            server_.at(Clock::now() + kProgressEvery, [this, id] { progress(id); });
        }
    }
    std::string text = Json{{"id", r.id}, {"method", r.method}, {"parameters", r.parameters}}.dump(
        -1, ' ', false, Json::error_handler_t::replace);
    text.push_back('\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(d.fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        pollfd p{d.fd, POLLOUT, 0};
        // An idle worker reads at once; one that does not is not waited for.
        if (n < 0 && errno == EAGAIN && poll(&p, 1, 5000) == 1) continue;
        log_info("the worker of display %s does not take calls; starting it again", d.serial.c_str());
        stop_worker(d, true);
        return;
    }
}

void DisplayService::answer(Served& d, std::unique_ptr<Request> request, const Json& reply) {
    if (request->done) return request->done(reply);
    const auto error = reply.find("error");
    const Json parameters = reply.value("parameters", Json::object());
    if (!request->job.empty()) {
        d.job.clear();
        Job* ended = job(request->job);
        if (ended == nullptr) return;
        if (error != reply.end() && error->is_string())
            job_ended(*ended, result_of(*error, parameters), message_of(*error, parameters));
        else
            job_ended(*ended, RC_OK, qv::settings::describe_rc(RC_OK));
        return;
    }
    const ConnId conn = request->conn;
    if (error != reply.end() && error->is_string()) {
        server_.error(conn, error->get<std::string>(), parameters);
        return;
    }
    if (request->method != "GetFiles") {
        server_.reply(conn, parameters);
        return;
    }
    // One reply per file; a type with no file answers once with an empty name.
    auto files = std::make_shared<std::deque<Json>>();
    for (const Json& f : parameters.value("files", Json::array())) files->push_back(f);
    if (files->empty()) files->push_back({{"name", ""}, {"content", ""}});
    if (!request->more) files->resize(1);
    hand_out_files(conn, files);
}

void DisplayService::hand_out_files(ConnId conn, std::shared_ptr<std::deque<Json>> files) {
    // The next file goes out once the client took most of the last: its output stays bounded.
    while (!files->empty() && server_.connected(conn) && server_.pending_output(conn) < Server::kMaxOutput / 4) {
        Json f = std::move(files->front());
        files->pop_front();
        server_.reply(conn, f, !files->empty());
    }
    if (files->empty() || !server_.connected(conn)) return;
    server_.at(Clock::now() + std::chrono::milliseconds(20), [this, conn, files] { hand_out_files(conn, files); });
}

// ---- jobs

void DisplayService::job_ended(Job& job, int result, const std::string& message) {
    job.running = false;
    job.end = Clock::now();
    job.result = result;
    job.message = message;
    if (!job.started) job.start = job.end;
    events_.publish({{"type", "job-ended"}, {"serial", job.serial}, {"job", job.id}, {"action", job.action},
                     {"result", result}, {"message", message}});
    forget_old_jobs();
}

DisplayService::Job* DisplayService::job(const std::string& id) {
    uint64_t number = 0;
    const auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), number);
    if (ec != std::errc() || end != id.data() + id.size()) return nullptr;
    const auto it = jobs_.find(number);
    return it == jobs_.end() ? nullptr : it->second.get();
}

void DisplayService::progress(const std::string& job_id) {
    const Job* running = job(job_id);
    if (running == nullptr || !running->running) return;
    const Job& job = *running;
    events_.publish({{"type", "job-progress"}, {"serial", job.serial}, {"job", job.id}, {"action", job.action},
                     {"elapsed", seconds_since(job.start)}, {"waitingFor", job.waits_for}});
    server_.at(Clock::now() + kProgressEvery, [this, job_id] { progress(job_id); });
}

void DisplayService::forget_old_jobs() {
    const auto now = Clock::now();
    std::size_t ended = 0;
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (!it->second->running && now - it->second->end > kJobKept) {
            it = jobs_.erase(it);
        } else {
            ended += it->second->running ? 0 : 1;
            ++it;
        }
    }
    // Over the bound: the ones that ended first go.
    while (ended > kJobsKept) {
        auto oldest = jobs_.end();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it)
            if (!it->second->running && (oldest == jobs_.end() || it->second->end < oldest->second->end)) oldest = it;
        jobs_.erase(oldest);
        --ended;
    }
}

Json DisplayService::job_json(const Job& job) const {
    Json j = {{"id", job.id}, {"serial", job.serial}, {"action", job.action},
              {"state", job.running ? "running" : job.result == RC_OK ? "succeeded" : "failed"},
              {"elapsed", job.running ? (job.started ? seconds_since(job.start) : 0.0) : seconds_since(job.start, job.end)}};
    if (job.running) {
        j["waitingFor"] = job.waits_for;
    } else {
        j["result"] = job.result;
        j["message"] = job.message;
    }
    return j;
}

void DisplayService::jobs(ConnId conn) {
    forget_old_jobs();
    Json list = Json::array();
    for (const auto& [number, j] : jobs_) list.push_back(job_json(*j));
    server_.reply(conn, {{"jobs", list}});
}

// ---- naming the displays

DisplayService::Served* DisplayService::served(const std::string& serial) {
    for (auto& d : displays_)
        if (d->present && d->serial == serial) return d.get();
    return nullptr;
}

const DisplayService::Served* DisplayService::served(const std::string& serial) const {
    for (const auto& d : displays_)
        if (d->present && d->serial == serial) return d.get();
    return nullptr;
}

std::optional<std::string> DisplayService::serial_of(DisplayId display) const {
    for (const auto& d : displays_)
        if (d->id.bus == display.bus && d->id.address == display.address && !d->serial.empty()) return d->serial;
    return std::nullopt;
}

std::optional<DisplayId> DisplayService::display_of(const std::string& serial) const {
    if (const Served* d = served(serial)) return d->id;
    return std::nullopt;
}

const DisplayService::Acting* DisplayService::acting(pid_t worker_pid) const {
    for (const auto& d : displays_)
        if (d->pid == worker_pid && d->in_flight) return &d->in_flight->acting;
    return nullptr;
}

bool DisplayService::is_worker(pid_t pid) const {
    for (const auto& d : displays_)
        if (d->pid == pid) return true;
    return false;
}

std::optional<std::string> DisplayService::resolve(ConnId conn, const std::optional<std::string>& serial) {
    if (serial) {
        if (served(*serial) != nullptr) return serial;
        server_.error(conn, display_error::kNoSuchDisplay, {{"serial", *serial}});
        return std::nullopt;
    }
    const Served* only = nullptr;
    std::size_t named = 0;
    for (const auto& d : displays_)
        if (d->present && !d->serial.empty()) {
            only = d.get();
            ++named;
        }
    if (named == 1) return only->serial;
    server_.error(conn, display_error::kNoSuchDisplay, Json::object());
    return std::nullopt;
}

Json DisplayService::display_json(const Served& d) const {
    Json j = {{"serial", d.serial}, {"monitorType", d.monitor_type}, {"firmware", d.firmware},
              {"state", !d.ready ? "unanswered" : d.job.empty() ? "ready" : "busy"}};
    if (!d.job.empty()) j["job"] = d.job;
    return j;
}

void DisplayService::list(ConnId conn) {
    Json list = Json::array();
    for (const auto& d : displays_)
        if (d->present && !d->serial.empty()) list.push_back(display_json(*d));
    server_.reply(conn, {{"displays", list}});
}

// ---- the metrics' readings

std::vector<DisplayService::State> DisplayService::states() const {
    std::vector<State> states;
    for (const auto& d : displays_) {
        if (!d->present || d->serial.empty()) continue;
        State state{d->serial, d->monitor_type, d->firmware, d->ready, {}};
        for (const auto& [number, j] : jobs_)
            if (j->id == d->job) state.job_action = j->action;
        states.push_back(std::move(state));
    }
    return states;
}

bool DisplayService::request_readings(const std::string& serial, const Json& parameters,
                                      std::function<void(const Json&)> done) {
    Served* d = served(serial);
    if (d == nullptr || !d->ready || !d->job.empty()) return false;
    auto request = std::make_unique<Request>();
    request->method = "Readings";
    request->parameters = parameters;
    request->done = std::move(done);
    submit(*d, std::move(request));
    return true;
}

// ---- calls

void DisplayService::disconnected(ConnId conn) {
    events_.disconnected(conn);
    if (locks_ != nullptr) locks_->disconnected(conn);
}

void DisplayService::call(ConnId conn, const Call& call) {
    const std::string_view method = std::string_view(call.method).substr(kPrefix.size());
    const bool dry_run = call.parameters.contains("dryRun") && call.parameters["dryRun"].is_boolean() &&
                         call.parameters["dryRun"].get<bool>();
    if (call.oneway) return;  // every method here answers
    if (method == "List") return list(conn);
    if (method == "Jobs") return jobs(conn);
    if (method == "Subscribe") return events_.subscribe(conn);
    if (method == "Get" || method == "Dump" || method == "Diff" || method == "GetFiles") return on_display(conn, call, false);
    if (method == "Set" || method == "Run" || method == "SendFile") return on_display(conn, call, true);
    if (method == "Restore") return on_display(conn, call, !dry_run);
    if (method == "Lock" || method == "Unlock" || method == "UseLock") {
        if (locks_ == nullptr) return server_.error(conn, kMethodNotImplemented, {{"method", call.method}});
        const Json& p = call.parameters;
        if (method == "UseLock") {
            if (!p.contains("token") || !p["token"].is_string())
                return server_.error(conn, kInvalidParameter, {{"parameter", "token"}});
            return locks_->use_lock(conn, p["token"].get<std::string>());
        }
        const auto serial = serial_of_call(conn, p);
        if (!serial) return;
        if (method == "Lock") return locks_->lock(conn, *serial);
        const bool force = p.contains("force") && p["force"].is_boolean() && p["force"].get<bool>();
        return locks_->unlock(conn, *serial, force);
    }
    server_.error(conn, kMethodNotFound, {{"method", call.method}});
}

std::optional<std::string> DisplayService::serial_of_call(ConnId conn, const Json& parameters) {
    std::optional<std::string> given;
    if (parameters.contains("serial") && !parameters["serial"].is_null()) {
        if (!parameters["serial"].is_string()) {
            server_.error(conn, kInvalidParameter, {{"parameter", "serial"}});
            return std::nullopt;
        }
        given = parameters["serial"].get<std::string>();
    }
    return resolve(conn, given);
}

void DisplayService::on_display(ConnId conn, const Call& call, bool changes) {
    const Json& p = call.parameters;
    const std::string method(std::string_view(call.method).substr(kPrefix.size()));
    const auto serial = serial_of_call(conn, p);
    if (!serial) return;
    Served& d = *served(*serial);
    if (changes && (options_.read_only || (locks_ != nullptr && locks_->read_only(conn))))
        return server_.error(conn, display_error::kReadOnly, Json::object());
    if (changes && locks_ != nullptr)
        if (const auto refusal = locks_->refused(conn, *serial)) return server_.error(conn, display_error::kLocked, *refusal);
    if (!d.job.empty()) {
        const Job* running = job(d.job);
        return server_.error(conn, display_error::kBusy,
                             {{"job", d.job}, {"action", running == nullptr ? std::string() : running->action}});
    }
    if (!d.ready)
        return server_.error(conn, display_error::kDisplayFailed, failed_params("the display does not answer"));

    auto request = std::make_unique<Request>();
    request->conn = conn;
    request->more = call.more;
    request->method = method;
    request->parameters = p;
    request->parameters.erase("serial");
    const Peer* peer = server_.peer(conn);
    request->acting = {peer != nullptr ? *peer : Peer{}, conn,
                       p.contains("context") && p["context"].is_string() ? p["context"].get<std::string>() : ""};

    // The long ones run as jobs: the caller has the job's id at once.
    std::string action, waits_for;
    if (method == "Run") {
        if (!p.contains("action") || !p["action"].is_string())
            return server_.error(conn, kInvalidParameter, {{"parameter", "action"}});
        const qv::settings::Action* a = qv::settings::find_action(p["action"].get<std::string>());
        if (a == nullptr)
            return server_.error(conn, display_error::kInvalidValue,
                                 {{"name", qv::settings::shown(p["action"].get<std::string>())}, {"reason", "no such action"}});
        std::vector<long> values;
        std::string error, bad;
        const qv::settings::Json arguments = p.contains("arguments") ? qv::settings::Json(p["arguments"]) : nullptr;
        if (!qv::settings::action_arguments(*a, arguments, &values, &error, &bad))
            return server_.error(conn, display_error::kInvalidValue, {{"name", bad.empty() ? a->name : bad}, {"reason", error}});
        if (a->long_running()) {
            action = a->name;
            waits_for = a->waits_for;
        }
    } else if (method == "SendFile") {
        if (!p.contains("fileType") || !p["fileType"].is_number_integer())
            return server_.error(conn, kInvalidParameter, {{"parameter", "fileType"}});
        if (!p.contains("content") || !p["content"].is_string())
            return server_.error(conn, kInvalidParameter, {{"parameter", "content"}});
        if (p["content"].get_ref<const std::string&>().size() > qv::link::base64_size(kMaxFileBytes))
            return server_.error(conn, display_error::kInvalidValue,
                                 {{"name", "content"},
                                  {"reason", "the file is larger than " + std::to_string(kMaxFileBytes / 1024) + " KiB"}});
        action = "send-file";
        waits_for = kSendFileWaitsFor;
    }
    if (!action.empty()) {
        const uint64_t number = next_job_++;
        auto started = std::make_unique<Job>();
        started->id = std::to_string(number);
        started->serial = *serial;
        started->action = action;
        started->waits_for = waits_for;
        request->job = started->id;
        request->conn = 0;
        d.job = started->id;
        server_.reply(conn, {{"job", started->id}});
        jobs_[number] = std::move(started);
    }
    submit(d, std::move(request));
}

}  // namespace quorvexd
