#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "quorvex.h"
#include "settings.h"  // qv::settings::describe_rc

namespace qvctl {

namespace {

FILE* g_out = stdout;
bool g_write_failed = false;
int g_write_errno = 0;

void note_failure() {
    if (!g_write_failed) g_write_errno = errno;
    g_write_failed = true;
}

}  // namespace

void redirect_library_output(bool verbose) {
    std::fflush(stdout);
    const int own = dup(STDOUT_FILENO);
    if (own < 0) return;  // standard output is closed: writes will fail and be reported
    FILE* stream = fdopen(own, "w");
    if (stream == nullptr) {
        close(own);
        return;
    }
    g_out = stream;
    const int target = verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY);
    if (target >= 0) {
        dup2(target, STDOUT_FILENO);
        close(target);
    }
}

void out(std::string_view text) {
    if (text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), g_out) != text.size()) note_failure();
}

void outf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (std::vfprintf(g_out, format, args) < 0) note_failure();
    va_end(args);
}

bool output_is_terminal() { return isatty(fileno(g_out)) == 1; }

bool flush_out() {
    if (std::fflush(g_out) != 0) note_failure();
    return !g_write_failed;
}

int output_descriptor() { return fileno(g_out); }

bool finish_output() {
    if (std::fflush(g_out) != 0) note_failure();
    if (std::ferror(g_out) != 0 && !g_write_failed) note_failure();
    if (g_out != stdout) {
        if (std::fclose(g_out) != 0) note_failure();
        g_out = stdout;
    }
    if (g_write_failed) {
        const int error = g_write_errno != 0 ? g_write_errno : EIO;
        if (error != EPIPE && error != ENOSPC)
            std::fprintf(stderr, "quorvexctl: cannot write the output: %s\n", std::strerror(error));
        return false;
    }
    return true;
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "quorvexctl: %s\n", message.c_str());
    return status;
}

int fail_host(const std::string& what, const std::string& path, int error_number) {
    return fail(kExitHostRefused, what + " " + shown(path, 300) + ": " + std::strerror(error_number));
}

std::string closest(std::string_view word, const std::vector<std::string>& candidates) {
    // Levenshtein distance, one row at a time.
    auto distance = [](std::string_view a, std::string_view b) {
        std::vector<std::size_t> row(b.size() + 1);
        for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    };
    if (word.size() > 64) return {};
    std::string best;
    // A slip is at most a third of the word's letters, and never more than three.
    std::size_t best_distance = std::min<std::size_t>(3, (word.size() + 2) / 3) + 1;
    for (const std::string& candidate : candidates) {
        const std::size_t d = distance(word, candidate);
        if (d < best_distance) {
            best = candidate;
            best_distance = d;
        }
    }
    return best;
}

std::string join_path(const std::string& directory, const std::string& name) {
    std::string joined = directory;
    while (joined.size() > 1 && joined.back() == '/') joined.pop_back();
    if (joined != "/") joined += '/';
    std::size_t start = 0;
    while (start < name.size() && name[start] == '/') ++start;
    return joined + name.substr(start);
}

int status_of(int rc) {
    switch (rc) {
        case RC_OK: return kExitOk;
        case RC_INVALID_ARGUMENT: return kExitUsage;
        case RC_NOT_ALLOWED:
        case RC_NOT_SUPPORTED: return kExitRefused;
        case RC_NO_DEVICES:
        case RC_NOT_FOUND: return kExitNoDisplay;
        default: return kExitDisplay;
    }
}

int fail_rc(const std::string& what, int rc, const std::string& needs) {
    std::string message = what + ": " + qv::settings::describe_rc(rc);
    if (!needs.empty() && (rc == RC_NOT_ALLOWED || rc == RC_NOT_SUPPORTED)) message += " (needs " + needs + ")";
    return fail(status_of(rc), message + " (code " + std::to_string(rc) + ")");
}

}  // namespace qvctl
