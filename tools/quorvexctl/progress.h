// Progress of a file transfer on a terminal: bytes, chunks, rate and time left, redrawn in
// place on one line.
#pragma once

#include <chrono>
#include <cstdint>
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

}  // namespace qvctl
