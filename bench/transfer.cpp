// Throughput of file transfer: a 64 KiB file uploaded to and downloaded from the simulated
// display, on the virtual clock (the 100 ms pause after every downloaded chunk costs no real
// time). Prints the wall time of the library's own work, the simulated protocol time, and the
// protocol's bound beside them: 128 bytes per exchange, and 100 ms more per downloaded chunk.
// A program that measures; it asserts nothing.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"
#include "quorvex.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 64 * 1024;
constexpr int kRounds = 20;
constexpr double kChunk = 128.0;
constexpr double kChunkPauseS = 0.1;
constexpr double kPacketBytes = 184.0;  // each way, per exchange
constexpr double kBitsPerByte = 10.0;   // start, 8 data bits, stop on the display's serial line

struct Result {
    double wall_s;  // real time spent in the library (and the simulated display)
    double sim_s;   // simulated time: the protocol's pauses and waits
    bool ok;
};

// The library prints "Moniter Type is ..." at every connect whatever the log switch says.
template <class F>
void with_stdout_silenced(F&& f) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
}

template <class F>
Result measure(qv::sim::VirtualClock& clock, F&& f) {
    const uint64_t sim0 = clock.now_us();
    const auto wall0 = std::chrono::steady_clock::now();
    bool ok = true;
    for (int i = 0; i < kRounds; ++i) ok = f() && ok;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
    return {wall.count() / kRounds, static_cast<double>(clock.now_us() - sim0) / 1e6 / kRounds, ok};
}

double kib_per_s(double seconds) { return seconds > 0 ? kFileSize / 1024.0 / seconds : 0.0; }

void row(const char* what, double seconds) {
    if (seconds > 0)
        std::printf("  %-48s %10.3f ms  %12.1f KiB/s\n", what, seconds * 1e3, kib_per_s(seconds));
    else
        std::printf("  %-48s %10.3f ms  %12s\n", what, 0.0, "-");
}

}  // namespace

int main() {
    qv::sim::VirtualClock clock;
    qv::install_clock(&clock);
    qv::sim::SimBus bus({qv::sim::FirmwareConfig{}}, clock);
    qv::install_usb_backend(&bus);
    SetLog(0);

    char serials[36] = {};
    int connected = RC_FAILED;
    with_stdout_silenced([&] {
        if (Scan(serials) >= 1) connected = Connect(0);
    });
    if (connected != RC_OK) {
        std::fprintf(stderr, "bench_transfer: cannot connect to the simulated display (%d)\n", connected);
        return 1;
    }

    char templ[] = "/tmp/qvbenchXXXXXX";
    if (mkdtemp(templ) == nullptr) {
        std::perror("bench_transfer: mkdtemp");
        return 1;
    }
    const fs::path root = templ;
    const fs::path source = root / "source.bin";
    const fs::path dir = root / "down";
    fs::create_directory(dir);
    std::vector<char> content(kFileSize);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    std::ofstream(source, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));

    auto& store = bus.firmware(0).state.transfer.files;
    store.clear();  // the download then fetches only the uploaded file

    const Result up = measure(clock, [&] { return SendFileToDisplay(1, source.c_str()) == RC_OK; });
    const Result down = measure(clock, [&] { return GetFileFromDisplay(3, dir.c_str()) == RC_OK; });

    std::ifstream in(dir / "upload1.bin", std::ios::binary);
    const std::vector<char> back{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bool same = back == content;

    const double exchanges = static_cast<double>((kFileSize + 127) / 128);
    const double line_s = 2 * kPacketBytes * kBitsPerByte / baudrate;  // one exchange on the wire

    std::printf("File transfer of %zu bytes (%g exchanges of %g bytes), %d rounds each, simulated display\n\n",
                kFileSize, exchanges, kChunk, kRounds);
    std::printf("upload (code 1)%s\n", up.ok ? "" : "  [FAILED]");
    row("library work, wall time", up.wall_s);
    row("simulated protocol time", up.sim_s);
    std::printf("  %-48s %10.3f us\n", "library work per exchange", up.wall_s / exchanges * 1e6);
    row("bound on the wire at the baud rate (estimate)", exchanges * line_s);
    std::printf("\ndownload (code 3)%s%s\n", down.ok ? "" : "  [FAILED]", same ? "" : "  [CONTENT DIFFERS]");
    row("library work, wall time", down.wall_s);
    row("simulated protocol time", down.sim_s);
    std::printf("  %-48s %10.3f us\n", "library work per exchange", down.wall_s / exchanges * 1e6);
    row("protocol bound: 100 ms pause per chunk", exchanges * kChunkPauseS);
    row("bound with the wire at the baud rate (estimate)", exchanges * (kChunkPauseS + line_s));
    std::printf("\nThe protocol moves at most %g bytes per exchange; a download pauses %g ms after each chunk.\n"
                "Wire estimate: %g bytes each way per exchange at %d baud, %g bits per byte.\n",
                kChunk, kChunkPauseS * 1e3, kPacketBytes, baudrate, kBitsPerByte);

    with_stdout_silenced([] { Disconnect(); });
    std::error_code ec;
    fs::remove_all(root, ec);
    qv::install_usb_backend(nullptr);
    qv::install_clock(nullptr);
    return up.ok && down.ok && same ? 0 : 1;
}
