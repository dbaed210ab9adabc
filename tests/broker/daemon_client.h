// A quorvexd of the tests' own and a client speaking Varlink to it by hand.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qvtest {

using Json = nlohmann::json;

// quorvexd on the simulated displays `simulate` describes, on a socket in a fresh folder;
// stopped (and its clean end checked) by the destructor.
class Daemon {
public:
    explicit Daemon(const std::string& simulate, std::vector<std::string> options = {}) {
        char pattern[] = "/tmp/quorvexd-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        socket_ = dir_ + "/socket";
        log_ = dir_ + "/log";
        pid_ = fork();
        if (pid_ == 0) {
            setenv("QUORVEX_SIMULATE", simulate.c_str(), 1);
            freopen(log_.c_str(), "w", stderr);
            std::vector<char*> argv = {const_cast<char*>(QUORVEXD_PATH), const_cast<char*>("--socket"), socket_.data()};
            for (auto& o : options) argv.push_back(o.data());
            argv.push_back(nullptr);
            execv(QUORVEXD_PATH, argv.data());
            _exit(127);
        }
        for (int i = 0; i < 1000 && !std::filesystem::exists(socket_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Daemon() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        // A clean end: under the sanitizers, nothing found in the daemon either.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "quorvexd ended with " << status << ":\n" << log();
        std::filesystem::remove_all(dir_);
    }
    const std::string& socket() const { return socket_; }
    // Waits until the daemon's display workers serve `count` displays; their list.
    Json wait_for_displays(std::size_t count) const;
    pid_t pid() const { return pid_; }
    std::string log() const {
        std::ifstream in(log_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t open_descriptors() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd"),
                                                      std::filesystem::directory_iterator()));
    }

private:
    std::string dir_, socket_, log_;
    pid_t pid_ = -1;
};

// A client speaking Varlink by hand.
class Raw {
public:
    explicit Raw(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Raw() { close(fd_); }
    bool connected() const { return connected_; }
    // receive() gives null after this long without a message (a test that waits for something
    // that never comes fails instead of hanging).
    void give_up_after(int seconds) {
        const timeval t{seconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    }
    // Whether a message (or the end) is there to read now.
    bool answered() {
        char c;
        return !buffer_.empty() || recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
    }
    void send_text(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void send(const Json& call) { send_text(call.dump() + std::string(1, '\0')); }
    // The next message, or null when the daemon closed the connection.
    Json receive() {
        for (;;) {
            const std::size_t nul = buffer_.find('\0');
            if (nul != std::string::npos) {
                Json j = Json::parse(buffer_.substr(0, nul));
                buffer_.erase(0, nul + 1);
                return j;
            }
            char chunk[4096];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return nullptr;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    Json call(const std::string& method, const Json& parameters = Json::object()) {
        send({{"method", method}, {"parameters", parameters}});
        return receive();
    }
    // Opens and claims the first display: its handle.
    long claim_first() {
        call("io.quorvex.Link.Hello", {{"version", QUORVEX_LINK_VERSION}});
        const Json devices = call("io.quorvex.Link.Devices")["parameters"]["devices"];
        for (const Json& d : devices) {
            if (d["vendor"] != QUORVEX_USB_VID || d["product"] != QUORVEX_USB_PID) continue;
            const long h = call("io.quorvex.Link.Open", {{"bus", d["bus"]}, {"address", d["address"]}})["parameters"]["handle"];
            call("io.quorvex.Link.Claim", {{"handle", h}, {"interface", 0}});
            return h;
        }
        return -1;
    }
    // Writes a 32-byte command with this opcode (and group, item, first payload byte).
    // (after a pause of `paused` microseconds on the displays' clock)
    Json write(long handle, uint8_t opcode, uint8_t group = 0, uint8_t item = 0, uint8_t value = 0, long paused = 0) {
        const uint8_t packet[32] = {opcode, 0, 0, 0, group, item, 0, value};
        static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string b64;
        for (int i = 0; i < 30; i += 3) {
            const auto v = static_cast<unsigned>(packet[i] << 16 | packet[i + 1] << 8 | packet[i + 2]);
            for (int s = 18; s >= 0; s -= 6) b64 += digits[(v >> s) & 63];
        }
        const auto v = static_cast<unsigned>(packet[30] << 16 | packet[31] << 8);
        b64 += std::string{digits[v >> 18], digits[(v >> 12) & 63], digits[(v >> 6) & 63], '='};
        Json parameters = {{"handle", handle}, {"endpoint", 2}, {"length", 32}, {"timeout", 5000}, {"data", b64}};
        if (paused > 0) parameters["paused"] = paused;
        return call("io.quorvex.Link.Transfer", parameters);
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

// The body of GET `path` from the daemon's metrics listener on loopback `port` ("" when none).
inline std::string http_get(int port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char chunk[4096];
        for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) answer.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    const std::size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

// Waits until the daemon's display workers serve `count` displays, asking on `raw`; their list.
inline Json wait_for_displays(Raw& raw, std::size_t count) {
    Json displays;
    for (int i = 0; i < 2000; ++i) {
        displays = raw.call("io.quorvex.Display.List")["parameters"]["displays"];
        std::size_t ready = 0;
        for (const Json& d : displays) ready += d["state"] == "ready" ? 1 : 0;
        if (ready == count) return displays;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the displays never became ready: " << displays;
    return displays;
}

inline Json Daemon::wait_for_displays(std::size_t count) const {
    Raw raw(socket_);
    return qvtest::wait_for_displays(raw, count);
}

}  // namespace qvtest
