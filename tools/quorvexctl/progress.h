// Progress of a file transfer on a terminal: bytes, chunks, rate and time left, redrawn in
// place on one line.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <string>

namespace qvctl {

inline constexpr int64_t kChunkBytes = 128;  // one transfer packet carries this much content

int64_t chunks_of(int64_t bytes);

class ProgressBar {
public:
    // total < 0: not known in advance (a download).
    ProgressBar(std::string label, int64_t total);
    void update(int64_t bytes);
    // Clears the line drawn.
    void clear();
    double seconds() const;

private:
    std::string label_;
    int64_t total_;
    std::chrono::steady_clock::time_point start_;
    bool drawn_ = false;
};

std::string human_bytes(int64_t bytes);

// What a long wait for the display is about, on standard error: on a terminal one line redrawn
// in place with the time elapsed; otherwise a line when the wait starts and one a minute.
class WaitNotice {
public:
    // "<what>: waiting for the display to <task>"
    WaitNotice(std::string what, std::string task);
    // Call often (a few times a second); it writes only when there is something new to say.
    void tick();
    // Clears the line drawn on a terminal.
    void clear();

private:
    std::string text_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    long shown_ = -1;  // the last second (terminal) or minute shown
};

// Runs `work` on a second thread and `tick` on this one every `period` until it is done; returns
// what `work` returns.
template <class Work, class Tick>
auto run_ticking(Work work, Tick tick, std::chrono::milliseconds period) {
    auto result = std::async(std::launch::async, work);
    while (result.wait_for(period) != std::future_status::ready) tick();
    return result.get();
}

}  // namespace qvctl
