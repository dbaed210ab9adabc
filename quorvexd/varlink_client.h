// The client's side of Varlink: one connection to a service, calls sent one after another and
// their replies read in order (several for a call that asked for more).
#pragma once

#include <string>

#include "varlink.h"

namespace quorvexd {

struct Reply {
    Json parameters = Json::object();
    std::string error;  // the error's name; empty for a reply
    bool continues = false;
};

class Client {
public:
    // The largest message taken from a service, its NUL included (a profile, a file's content).
    static constexpr std::size_t kMaxReply = 16 * 1024 * 1024;

    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects to the service at `path`; false with *reason (the system's word) when nothing
    // answers there.
    bool connect(const std::string& path, std::string* reason);
    // Connects to the daemon where the library would look for it (QUORVEX_SOCKET, else the
    // system's socket, else the session's). False with *reason naming where it looked.
    bool connect_to_daemon(std::string* reason);
    const std::string& path() const { return path_; }
    int descriptor() const { return fd_; }

    bool send(const std::string& method, const Json& parameters, bool more = false);

    enum class Read { kReply, kClosed, kInterrupted, kHangUp };
    // The next reply or error. kInterrupted: a signal arrived while waiting (the caller looks at
    // its flags and calls again); kClosed: the service ended the connection or it failed;
    // kHangUp: the other end of `hang_up_fd` (the reader of a pipe) went away meanwhile.
    Read receive(Reply* reply, int hang_up_fd = -1);

    // A call and its one answer; a connection that ends first is the error kDisconnected.
    Reply call(const std::string& method, const Json& parameters = Json::object());

    void close();

private:
    int fd_ = -1;
    std::string path_;
    MessageReader reader_{kMaxReply};
};

// What call() gives when the connection ended before the answer came: the client's own word,
// never a service's error name.
inline constexpr const char* kDisconnected = "disconnected";

}  // namespace quorvexd
