#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace cli_test {

nlohmann::ordered_json Result::json() const {
    auto parsed = nlohmann::ordered_json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << "not JSON: " << out;
    return parsed;
}

namespace {

// With QUORVEX_TEST_DAEMON (quorvexd) and QUORVEX_TEST_WITH_DAEMON (tests/broker/with_daemon.sh)
// set, each run reaches its simulated displays through a daemon of its own.
[[noreturn]] void exec_tool(const std::vector<std::string>& args, const std::string& simulate) {
    const char* daemon = std::getenv("QUORVEX_TEST_DAEMON");
    const char* with_daemon = std::getenv("QUORVEX_TEST_WITH_DAEMON");
    const bool brokered = daemon != nullptr && with_daemon != nullptr && !simulate.empty();
    if (simulate.empty() || brokered)
        unsetenv("QUORVEX_SIMULATE");
    else
        setenv("QUORVEX_SIMULATE", simulate.c_str(), 1);
    std::vector<char*> argv;
    if (brokered) {
        for (const char* a : {with_daemon, daemon, simulate.c_str()}) argv.push_back(const_cast<char*>(a));
        argv.push_back(const_cast<char*>(QUORVEXCTL_PATH));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(with_daemon, argv.data());
        _exit(127);
    }
    argv.push_back(const_cast<char*>(QUORVEXCTL_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUORVEXCTL_PATH, argv.data());
    _exit(127);
}

int exit_status(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Result quorvexctl_on_terminal(const std::vector<std::string>& args, const std::string& simulate) {
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) exec_tool(args, simulate);
    Result result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(terminal, buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    result.status = exit_status(pid);
    return result;
}

Result quorvexctl(const std::vector<std::string>& args, const std::string& simulate, const std::string& stdout_path) {
    int in[2], out[2], err[2], gone[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0 || pipe(gone) != 0) return {};
    close(gone[0]);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        if (stdout_path == kClosedPipe) {
            dup2(gone[1], STDOUT_FILENO);
        } else if (!stdout_path.empty()) {
            const int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDOUT_FILENO);
        } else {
            dup2(out[1], STDOUT_FILENO);
        }
        dup2(err[1], STDERR_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], gone[1]}) close(fd);
        exec_tool(args, simulate);
    }
    close(gone[1]);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    close(in[1]);
    Result result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_fds = 2;
    while (open_fds > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    result.status = exit_status(pid);
    return result;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/quorvexctl-test-XXXXXX";
    path_ = mkdtemp(pattern);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace cli_test
