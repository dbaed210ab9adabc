// The cost of sharing: GetDisplayLuminance through quorvexd beside the same call in-process and a
// bare Unix-socket echo round trip of the same size, each with 1, 8 and 32 client processes at
// once; then the latency on one display while a client of the other runs a calibration (its
// read attempts, one after another, on the simulated displays' virtual clock).
//
//   bench_broker [CALLS]    (calls per client process, default 2000)
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "quorvex.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Figures {
    double mean = 0, p50 = 0, p99 = 0;
};

Figures summary(std::vector<double> v) {
    Figures f;
    if (v.empty()) return f;
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    f.mean = sum / static_cast<double>(v.size());
    f.p50 = v[v.size() / 2];
    f.p99 = v[v.size() * 99 / 100];
    return f;
}

// Runs `body(i, out)` in n processes at once (each filling its latencies, in microseconds) and
// gathers every latency.
template <class Body>
std::vector<double> in_processes(int n, Body body) {
    std::vector<int> pipes;
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        int p[2];
        if (pipe(p) != 0) std::exit(1);
        const pid_t pid = fork();
        if (pid == 0) {
            close(p[0]);
            std::vector<double> out;
            body(i, out);
            const auto* bytes = reinterpret_cast<const char*>(out.data());
            std::size_t left = out.size() * sizeof(double);
            while (left > 0) {
                const ssize_t w = write(p[1], bytes, left);
                if (w <= 0) break;
                bytes += w;
                left -= static_cast<std::size_t>(w);
            }
            _exit(0);
        }
        close(p[1]);
        pipes.push_back(p[0]);
        children.push_back(pid);
    }
    std::vector<double> all;
    for (int fd : pipes) {
        double buffer[512];
        ssize_t r;
        std::size_t carry = 0;
        char* raw = reinterpret_cast<char*>(buffer);
        while ((r = read(fd, raw + carry, sizeof buffer - carry)) > 0) {
            const std::size_t have = carry + static_cast<std::size_t>(r);
            const std::size_t whole = have / sizeof(double);
            all.insert(all.end(), buffer, buffer + whole);
            carry = have - whole * sizeof(double);
            std::copy(raw + whole * sizeof(double), raw + have, raw);
        }
        close(fd);
    }
    for (pid_t c : children) waitpid(c, nullptr, 0);
    return all;
}

// A 32-byte request and its 34-byte answer over a socket pair, echoed by another process.
void echo_client(int calls, std::vector<double>& out) {
    int sv[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
    const pid_t echo = fork();
    if (echo == 0) {
        close(sv[0]);
        char b[64];
        while (read(sv[1], b, 32) == 32)
            if (write(sv[1], b, 34) != 34) break;
        _exit(0);
    }
    close(sv[1]);
    char b[64] = {};
    for (int i = 0; i < calls; ++i) {
        const auto t = Clock::now();
        if (write(sv[0], b, 32) != 32 || read(sv[0], b, 34) != 34) break;
        out.push_back(micros(Clock::now() - t));
    }
    close(sv[0]);
    waitpid(echo, nullptr, 0);
}

// Scans, connects to `slot` and times GetDisplayLuminance.
void luminance_client(int slot, int calls, std::vector<double>& out) {
    LogMessage = 0;
    char serials[36];
    if (Scan(serials) < slot + 1 || Connect(static_cast<int8_t>(slot)) != RC_OK) {
        std::fprintf(stderr, "bench_broker: no display %d\n", slot);
        return;
    }
    int16_t v = 0;
    for (int i = 0; i < calls; ++i) {
        const auto t = Clock::now();
        if (GetDisplayLuminance(&v) != RC_OK) break;
        out.push_back(micros(Clock::now() - t));
    }
    Disconnect();
}

pid_t start_daemon(const std::string& socket) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QUORVEX_SIMULATE", "displays=2,clock=virtual", 1);
        execl(QUORVEXD_PATH, QUORVEXD_PATH, "--socket", socket.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 1000 && !std::filesystem::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return pid;
}

void row(const char* what, int clients, const Figures& f) {
    std::printf("| %-34s | %3d | %8.1f | %8.1f | %8.1f |\n", what, clients, f.mean, f.p50, f.p99);
}

// The ratios of the means and of the medians (on a busy machine the medians are the steadier).
void ratio(const char* what, int clients, const Figures& a, const Figures& b) {
    std::printf("| %-34s | %3d | %7.2fx | %7.2fx |          |\n", what, clients, a.mean / b.mean, a.p50 / b.p50);
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
    char folder[] = "/tmp/bench-broker-XXXXXX";
    const std::string socket = std::string(mkdtemp(folder)) + "/socket";
    const pid_t daemon = start_daemon(socket);

    std::printf("%d calls per client process; latencies in microseconds\n\n", calls);
    std::printf("| %-34s | %3s | %8s | %8s | %8s |\n", "call", "n", "mean", "median", "p99");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), "-----", "----------", "----------", "----------");
    for (int n : {1, 8, 32}) {
        const Figures echo = summary(in_processes(n, [&](int, std::vector<double>& out) { echo_client(calls, out); }));
        const Figures local = summary(in_processes(n, [&](int, std::vector<double>& out) {
            setenv("QUORVEX_SIMULATE", "displays=2,clock=virtual", 1);
            luminance_client(0, calls, out);
        }));
        const Figures brokered = summary(in_processes(n, [&](int i, std::vector<double>& out) {
            setenv("QUORVEX_SOCKET", socket.c_str(), 1);
            luminance_client(i % 2, calls, out);
        }));
        row("bare socket round trip (32/34 B)", n, echo);
        row("GetDisplayLuminance in-process", n, local);
        row("GetDisplayLuminance through quorvexd", n, brokered);
        ratio("  through quorvexd / bare socket", n, brokered, echo);
    }

    // One display while a client of the other runs calibrations back to back.
    const Figures quiet = summary(in_processes(1, [&](int, std::vector<double>& out) {
        setenv("QUORVEX_SOCKET", socket.c_str(), 1);
        luminance_client(0, calls, out);
    }));
    const pid_t neighbour = fork();
    if (neighbour == 0) {
        setenv("QUORVEX_SOCKET", socket.c_str(), 1);
        LogMessage = 0;
        char serials[36];
        if (Scan(serials) == 2 && Connect(1) == RC_OK)
            for (;;) RecalibrateActivePreset();
        _exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Figures busy = summary(in_processes(1, [&](int, std::vector<double>& out) {
        setenv("QUORVEX_SOCKET", socket.c_str(), 1);
        luminance_client(0, calls, out);
    }));
    kill(neighbour, SIGKILL);
    waitpid(neighbour, nullptr, 0);
    std::printf("\n");
    row("display 1, display 2 idle", 1, quiet);
    row("display 1, display 2 calibrating", 1, busy);
    ratio("  busy / idle", 1, busy, quiet);

    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
    std::filesystem::remove_all(std::filesystem::path(socket).parent_path());
    return 0;
}
