#include "progress.h"

#include <unistd.h>

#include <cstdio>

#include "output.h"

namespace qvctl {

int64_t chunks_of(int64_t bytes) { return (bytes + kChunkBytes - 1) / kChunkBytes; }

std::string human_bytes(int64_t bytes) {
    char text[32];
    if (bytes < 10 * 1024)
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    else if (bytes < 10 * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

ProgressBar::ProgressBar(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), start_(std::chrono::steady_clock::now()) {}

double ProgressBar::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressBar::update(int64_t bytes) {
    const double elapsed = seconds();
    const double rate = elapsed > 0 ? static_cast<double>(bytes) / elapsed : 0;
    std::string line = "\r" + label_ + " ";
    if (total_ > 0) {
        constexpr int kWidth = 24;
        const int filled = static_cast<int>(kWidth * bytes / total_);
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] ";
        line += human_bytes(bytes) + "/" + human_bytes(total_);
        line += "  chunk " + std::to_string(chunks_of(bytes)) + "/" + std::to_string(chunks_of(total_));
    } else {
        line += human_bytes(bytes) + "  " + std::to_string(chunks_of(bytes)) + " chunks";
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, "  %s/s", human_bytes(static_cast<int64_t>(rate)).c_str());
    line += tail;
    if (total_ > 0 && rate > 0) {
        const auto left = static_cast<long>(static_cast<double>(total_ - bytes) / rate);
        std::snprintf(tail, sizeof tail, "  %ld:%02ld left", left / 60, left % 60);
        line += tail;
    }
    out(line + "\x1b[K");
    drawn_ = true;
}

void ProgressBar::clear() {
    if (drawn_) out("\r\x1b[K");
    drawn_ = false;
}

WaitNotice::WaitNotice(std::string what, std::string task)
    : text_(std::move(what) + ": waiting for the display to " + std::move(task)),
      terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()) {
    tick();
}

void WaitNotice::tick() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
    if (terminal_) {
        if (seconds == shown_) return;
        shown_ = static_cast<long>(seconds);
        std::fprintf(stderr, "\r%s (%ld:%02ld)\x1b[K", text_.c_str(), shown_ / 60, shown_ % 60);
        return;
    }
    const long minutes = static_cast<long>(seconds / 60);
    if (minutes == shown_) return;
    shown_ = minutes;
    if (minutes > 0) std::fprintf(stderr, "quorvexctl: %s (%ld min so far)\n", text_.c_str(), minutes);
}

void WaitNotice::clear() {
    if (terminal_ && shown_ >= 0) std::fprintf(stderr, "\r\x1b[K");
    shown_ = -1;
}

}  // namespace qvctl
