#include "server.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gadget_usb/link_wire.h"

namespace quorvexd {

bool g_debug = false;

namespace {

void vlog(const char* prefix, const char* format, va_list args) {
    char line[1024];
    std::vsnprintf(line, sizeof line, format, args);
    std::fprintf(stderr, "%squorvexd: %s\n", prefix, line);
}

}  // namespace

void log_info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog("<6>", format, args);
    va_end(args);
}

void log_debug(const char* format, ...) {
    if (!g_debug) return;
    va_list args;
    va_start(args, format);
    vlog("<7>", format, args);
    va_end(args);
}

struct Server::Connection {
    ConnId id = 0;
    int fd = -1;
    Peer peer;
    MessageReader reader{qv::link::kMaxMessage};
    std::deque<Call> calls;  // waiting to run
    bool busy = false;       // a call is in progress
    bool more = false;       // ... and asked for more replies
    std::string output;      // replies not yet sent
    bool closing = false;    // closed once the output is sent (a protocol error)
    bool watching_output = false;
    bool flush_queued = false;  // in flushing_
    bool dropped = false;    // to be closed without a word: its replies go nowhere now
};

Server::Server(ServiceInfo info) : info_(std::move(info)) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;  // connection ids start at 1; listeners are marked by their fd below
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
}

Server::~Server() {
    for (auto& [id, c] : connections_) close(c->fd);
    for (int fd : listeners_) close(fd);
    close(wake_);
    close(epoll_);
}

void Server::add_interface(Interface* interface) { interfaces_.push_back(interface); }

namespace {
// epoll data: 0 the wake-up, connection ids as they are, listeners with the top bit set, other
// watched descriptors with the next one.
constexpr uint64_t kListenerTag = uint64_t{1} << 63;
constexpr uint64_t kWatchTag = uint64_t{1} << 62;
}  // namespace

void Server::listen_on(int fd) {
    listeners_.push_back(fd);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kListenerTag | static_cast<uint64_t>(fd);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
}

void Server::stop() {
    stopping_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wake_, &one, sizeof one);
}

void Server::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        posted_.push_back(std::move(work));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wake_, &one, sizeof one);
}

void Server::soon(std::function<void()> work) { soon_.push_back(std::move(work)); }

void Server::at(Clock::time_point when, std::function<void()> work) { timers_.emplace(when, std::move(work)); }

void Server::watch(int fd, std::function<void()> ready) {
    watched_[fd] = std::make_shared<std::function<void()>>(std::move(ready));
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = kWatchTag | static_cast<uint64_t>(fd);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
}

void Server::unwatch(int fd) {
    if (watched_.erase(fd) != 0) epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
}

int Server::timeout_ms() const {
    if (timers_.empty()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.begin()->first - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count()) + 1;
}

void Server::run_timers() {
    const auto now = Clock::now();
    while (!timers_.empty() && timers_.begin()->first <= now) {
        auto work = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        work();
    }
}

void Server::run_posted() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(wake_, &count, sizeof count);
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        work.swap(posted_);
    }
    for (auto& w : work) w();
}

void Server::run_soon() {
    // Work may add work; it runs in the same turn.
    while (!soon_.empty()) {
        auto work = std::exchange(soon_, {});
        for (auto& w : work) w();
    }
}

void Server::run() {
    epoll_event events[64];
    while (!stopping_) {
        run_soon();
        run_timers();
        for (ConnId id : std::exchange(closing_, {})) close_connection(id);
        run_soon();  // what the closed connections let go
        flush_all();
        const bool pending = !soon_.empty() || !closing_.empty();
        const int n = epoll_wait(epoll_, events, 64, pending ? 0 : timeout_ms());
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            const uint64_t tag = events[i].data.u64;
            if (tag == 0) {
                run_posted();
            } else if ((tag & kListenerTag) != 0) {
                accept_from(static_cast<int>(tag & ~kListenerTag));
            } else if ((tag & kWatchTag) != 0) {
                const auto it = watched_.find(static_cast<int>(tag & ~kWatchTag));
                if (it == watched_.end()) continue;
                const auto ready = it->second;  // kept while it runs: it may unwatch itself
                (*ready)();
            } else {
                const auto it = connections_.find(tag);
                if (it == connections_.end()) continue;
                Connection& c = *it->second;
                if ((events[i].events & EPOLLOUT) != 0) writable(c);
                if ((events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0 && connections_.count(tag) != 0)
                    readable(c);
            }
        }
    }
    flush_all();  // the last replies still go out
}

void Server::accept_from(int listener) {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) log_info("accept failed: %s", std::strerror(errno));
            return;
        }
        auto c = std::make_unique<Connection>();
        c->id = next_id_++;
        c->fd = fd;
        ucred cred{};
        socklen_t size = sizeof cred;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0) c->peer = Peer{cred.uid, cred.gid, cred.pid};
        log_debug("client %llu connected: uid %u pid %d", static_cast<unsigned long long>(c->id), c->peer.uid, c->peer.pid);
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = c->id;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
        by_fd_[fd] = c->id;
        connections_[c->id] = std::move(c);
    }
}

void Server::readable(Connection& c) {
    char buffer[16384];
    bool eof = false;
    for (;;) {
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            c.reader.feed(buffer, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buffer) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        eof = true;
        break;
    }
    std::string message;
    bool too_large = false;
    while (!c.closing && !c.dropped && c.reader.next(&message, &too_large)) {
        Call call;
        const std::string wrong = parse_call(message, &call);
        if (!wrong.empty()) {
            // Not a call: said once, and the connection ends.
            send(c, error_message(kInvalidParameter, {{"parameter", wrong}}));
            c.closing = true;
            break;
        }
        if (c.calls.size() >= kMaxQueuedCalls) {
            log_info("client uid %u pid %d sent more calls than it waits for; disconnected", c.peer.uid, c.peer.pid);
            closing_.push_back(c.id);
            return;
        }
        c.calls.push_back(std::move(call));
        next_call(c);
    }
    if (too_large && !c.closing) {
        send(c, error_message(kInvalidParameter, {{"parameter", "message"}}));
        c.closing = true;
    }
    if (eof || (c.closing && c.output.empty())) {
        closing_.push_back(c.id);
        return;
    }
    if (c.closing) {
        // Nothing more is read; the error goes out, then the connection ends.
        epoll_event ev{};
        ev.events = EPOLLOUT;
        ev.data.u64 = c.id;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
        return;
    }
    next_call(c);
}

void Server::next_call(Connection& c) {
    const ConnId id = c.id;
    while (!c.busy && !c.calls.empty() && !c.closing) {
        Call call = std::move(c.calls.front());
        c.calls.pop_front();
        c.busy = !call.oneway;
        c.more = call.more;
        if (call.interface() == "org.varlink.service") {
            service_call(id, call);
        } else {
            Interface* target = nullptr;
            for (Interface* i : interfaces_)
                if (call.interface() == i->name()) target = i;
            if (target == nullptr) {
                if (!call.oneway) error(id, kInterfaceNotFound, {{"interface", std::string(call.interface())}});
            } else {
                target->call(id, call);
            }
        }
        // The interface may have closed the connection.
        if (connections_.count(id) == 0) return;
    }
}

void Server::service_call(ConnId id, const Call& call) {
    if (call.method == "org.varlink.service.GetInfo") {
        Json names = Json::array({"org.varlink.service"});
        for (Interface* i : interfaces_) names.push_back(i->name());
        if (!call.oneway)
            reply(id, {{"vendor", info_.vendor}, {"product", info_.product}, {"version", info_.version},
                       {"url", info_.url}, {"interfaces", names}});
    } else if (call.method == "org.varlink.service.GetInterfaceDescription") {
        const auto p = call.parameters.find("interface");
        if (p == call.parameters.end() || !p->is_string()) {
            if (!call.oneway) error(id, kInvalidParameter, {{"parameter", "interface"}});
            return;
        }
        const std::string name = p->get<std::string>();
        const char* description = nullptr;
        extern const char* const kVarlinkServiceDescription;
        if (name == "org.varlink.service") description = kVarlinkServiceDescription;
        for (Interface* i : interfaces_)
            if (name == i->name()) description = i->description();
        if (call.oneway) return;
        if (description == nullptr)
            error(id, kInterfaceNotFound, {{"interface", name}});
        else
            reply(id, {{"description", description}});
    } else if (!call.oneway) {
        error(id, kMethodNotFound, {{"method", call.method}});
    }
}

void Server::reply(ConnId id, const Json& parameters, bool continues) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    if (!c.busy) return;
    send(c, reply_message(parameters, continues && c.more));
    if (!(continues && c.more)) {
        c.busy = false;
        next_call(c);
    }
}

void Server::error(ConnId id, std::string_view name, const Json& parameters) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    if (!c.busy) return;
    send(c, error_message(name, parameters));
    c.busy = false;
    next_call(c);
}

bool Server::wants_more(ConnId id) const {
    const auto it = connections_.find(id);
    return it != connections_.end() && it->second->more;
}

const Peer* Server::peer(ConnId id) const {
    const auto it = connections_.find(id);
    return it == connections_.end() ? nullptr : &it->second->peer;
}

std::size_t Server::pending_output(ConnId id) const {
    const auto it = connections_.find(id);
    return it == connections_.end() ? 0 : it->second->output.size();
}

void Server::send(Connection& c, const std::string& message) {
    if (c.dropped) return;
    if (c.output.size() + message.size() > kMaxOutput) {
        // A client that does not read its replies is not waited for.
        log_info("client uid %u pid %d does not read its replies; disconnected", c.peer.uid, c.peer.pid);
        c.dropped = true;
        c.output.clear();
        closing_.push_back(c.id);
        return;
    }
    c.output += message;
    if (!c.flush_queued && !c.watching_output) {
        c.flush_queued = true;
        flushing_.push_back(c.id);
    }
}

void Server::flush_all() {
    for (ConnId id : std::exchange(flushing_, {})) {
        const auto it = connections_.find(id);
        if (it == connections_.end()) continue;
        it->second->flush_queued = false;
        flush(*it->second);
    }
}

void Server::flush(Connection& c) {
    if (c.dropped) return;
    std::size_t done = 0;
    while (done < c.output.size()) {
        const ssize_t n = ::send(c.fd, c.output.data() + done, c.output.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        c.output.clear();
        closing_.push_back(c.id);  // the peer is gone
        return;
    }
    c.output.erase(0, done);
    if (!c.output.empty()) {
        // The rest waits for the socket.
        if (!c.watching_output) {
            c.watching_output = true;
            epoll_event ev{};
            ev.events = (c.closing ? 0u : static_cast<uint32_t>(EPOLLIN | EPOLLRDHUP)) | EPOLLOUT;
            ev.data.u64 = c.id;
            epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
        }
        return;
    }
    if (c.closing) {
        closing_.push_back(c.id);
        return;
    }
    if (c.watching_output) {
        c.watching_output = false;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = c.id;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
    }
}

void Server::writable(Connection& c) { flush(c); }

void Server::close_connection(ConnId id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    std::unique_ptr<Connection> c = std::move(it->second);
    connections_.erase(it);
    by_fd_.erase(c->fd);
    epoll_ctl(epoll_, EPOLL_CTL_DEL, c->fd, nullptr);
    // Replies made before the end (to a client that sent its calls and shut its side) still go
    // out, as far as the socket takes them without waiting.
    for (std::size_t done = 0; !c->dropped && done < c->output.size();) {
        const ssize_t n = ::send(c->fd, c->output.data() + done, c->output.size() - done, MSG_NOSIGNAL);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    close(c->fd);
    log_debug("client %llu gone: uid %u pid %d", static_cast<unsigned long long>(id), c->peer.uid, c->peer.pid);
    for (Interface* i : interfaces_) i->disconnected(id);
}

}  // namespace quorvexd
