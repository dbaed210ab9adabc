#include "varlink_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "gadget_usb/link_wire.h"

namespace quorvexd {

Client::~Client() { close(); }

void Client::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Client::connect(const std::string& path, std::string* reason) {
    close();
    path_ = path;
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        *reason = "the socket's path is too long";
        return false;
    }
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int rc = 0;
    do rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        *reason = std::strerror(errno);
        close();
        return false;
    }
    return true;
}

bool Client::connect_to_daemon(std::string* reason) {
    bool named = false;
    std::string tried;
    for (const std::string& path : qv::link::broker_sockets(&named)) {
        std::string why;
        if (connect(path, &why)) return true;
        tried += (tried.empty() ? "" : ", ") + path + " (" + why + ")";
    }
    *reason = "no quorvexd answers at " + tried;
    return false;
}

bool Client::send(const std::string& method, const Json& parameters, bool more) {
    Json message = {{"method", method}, {"parameters", parameters}};
    if (more) message["more"] = true;
    std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    text.push_back('\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

Client::Read Client::receive(Reply* reply, int hang_up_fd) {
    std::string message;
    bool too_large = false;
    while (!reader_.next(&message, &too_large)) {
        if (too_large || fd_ < 0) return Read::kClosed;
        pollfd watched[2] = {{fd_, POLLIN, 0}, {hang_up_fd, 0, 0}};
        const int ready = poll(watched, hang_up_fd >= 0 ? 2 : 1, -1);
        if (ready < 0) return errno == EINTR ? Read::kInterrupted : Read::kClosed;
        if (watched[0].revents == 0 && (watched[1].revents & (POLLERR | POLLHUP)) != 0) return Read::kHangUp;
        char buffer[65536];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) return Read::kInterrupted;
        if (n <= 0) return Read::kClosed;
        reader_.feed(buffer, static_cast<std::size_t>(n));
    }
    Json j = Json::parse(message, nullptr, false);
    if (!j.is_object()) return Read::kClosed;
    *reply = Reply{};
    if (const auto e = j.find("error"); e != j.end() && e->is_string()) reply->error = e->get<std::string>();
    if (const auto p = j.find("parameters"); p != j.end() && p->is_object()) reply->parameters = std::move(*p);
    if (const auto c = j.find("continues"); c != j.end() && c->is_boolean()) reply->continues = c->get<bool>();
    return Read::kReply;
}

Reply Client::call(const std::string& method, const Json& parameters) {
    Reply reply;
    if (send(method, parameters)) {
        Read read = Read::kInterrupted;
        while ((read = receive(&reply)) == Read::kInterrupted) {
        }
        if (read == Read::kReply) return reply;
    }
    reply = Reply{};
    reply.error = kDisconnected;
    return reply;
}

}  // namespace quorvexd
