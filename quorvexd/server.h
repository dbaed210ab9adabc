// The daemon's one event loop: the listening sockets, every client connection, the results
// that worker threads hand back, and timers. Calls are given to the interface their method
// names; each connection's calls run one after another, its replies in order.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "varlink.h"

namespace quorvexd {

using ConnId = uint64_t;
using Clock = std::chrono::steady_clock;

// Who is at the other end of a connection (SO_PEERCRED).
struct Peer {
    uid_t uid = 0;
    gid_t gid = 0;
    pid_t pid = 0;
};

class Server;

class Interface {
public:
    virtual ~Interface() = default;
    virtual const char* name() const = 0;
    virtual const char* description() const = 0;  // the interface's Varlink description
    // A call of this interface. A call that wants replies is answered with Server::reply or
    // Server::error, now or later; a oneway call is done when this returns.
    virtual void call(ConnId conn, const Call& call) = 0;
    // The connection is gone (after its last call was answered or abandoned).
    virtual void disconnected(ConnId /*conn*/) {}
};

struct ServiceInfo {
    std::string vendor, product, version, url;
};

class Server {
public:
    // Bounds of one connection: a message's size, the replies waiting to be sent, the calls
    // waiting to run.
    static constexpr std::size_t kMaxOutput = 1024 * 1024;
    static constexpr std::size_t kMaxQueuedCalls = 64;

    explicit Server(ServiceInfo info);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    void add_interface(Interface* interface);
    void listen_on(int fd);  // a listening socket, non-blocking
    void run();              // until stop()
    void stop();             // from any thread or a signal handler's flag

    // The answer to the connection's call in progress: more replies follow while `continues`.
    void reply(ConnId conn, const Json& parameters, bool continues = false);
    void error(ConnId conn, std::string_view name, const Json& parameters = Json::object());
    // Whether the call in progress asked for more replies.
    bool wants_more(ConnId conn) const;
    const Peer* peer(ConnId conn) const;
    // The replies of the connection not yet taken by its client.
    std::size_t pending_output(ConnId conn) const;
    bool connected(ConnId conn) const { return connections_.count(conn) != 0; }
    std::size_t connection_count() const { return connections_.size(); }

    // Runs `work` on the loop's thread soon (safe from any thread).
    void post(std::function<void()> work);
    // The same from the loop's own thread: run once the events in hand are handled, before the
    // loop waits again, without waking it through the kernel.
    void soon(std::function<void()> work);
    // Runs `work` on the loop's thread at `when` or soon after.
    void at(Clock::time_point when, std::function<void()> work);
    // Runs `ready` on the loop's thread whenever `fd` (another descriptor the daemon reads, such
    // as a worker's socket) is readable or hung up, until unwatch(fd).
    void watch(int fd, std::function<void()> ready);
    void unwatch(int fd);

private:
    struct Connection;
    void accept_from(int listener);
    void readable(Connection& c);
    void writable(Connection& c);
    void next_call(Connection& c);
    void service_call(ConnId id, const Call& call);
    // Replies are gathered per connection and go out when the loop has handled the events in
    // hand: replies made in one turn (a reply and the one pushed behind it) leave in one write.
    void send(Connection& c, const std::string& message);
    void flush(Connection& c);
    void flush_all();
    void close_connection(ConnId id);
    void run_posted();
    void run_soon();
    int timeout_ms() const;
    void run_timers();

    ServiceInfo info_;
    int epoll_ = -1;
    int wake_ = -1;  // eventfd: posted work
    bool stopping_ = false;
    std::vector<int> listeners_;
    std::vector<Interface*> interfaces_;
    std::map<ConnId, std::unique_ptr<Connection>> connections_;
    std::map<int, ConnId> by_fd_;
    ConnId next_id_ = 1;
    std::vector<ConnId> closing_;
    std::vector<ConnId> flushing_;  // connections with replies to send
    std::vector<std::function<void()>> soon_;
    std::mutex posted_mutex_;
    std::vector<std::function<void()>> posted_;
    std::multimap<Clock::time_point, std::function<void()>> timers_;
    std::map<int, std::shared_ptr<std::function<void()>>> watched_;
};

// Service-wide logging on standard error (the journal takes it under systemd). Debug lines only
// when asked for.
extern bool g_debug;
void log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvexd
