// The link to the display breaks at every point of every kind of call: the display is pulled
// out (no device), its endpoint stalls (pipe error) or it stops answering (every transfer
// times out). Each call fails within the protocol's own time bound on the virtual clock, a
// download leaves the chunks that arrived before the break under the file's name, Disconnect
// returns, and once the display is back a new Scan and Connect work and the same call succeeds.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The longest an exchange with a 10-second read timeout may take when every transfer fails
// slowly: the write's 5 s, then ten read attempts of up to two transfers each and a 1 s pause.
constexpr uint64_t kExchangeBoundUs = (5 + 10 * (2 * 10 + 1)) * 1'000'000ull;

Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 29 + 5);
    return b;
}

Bytes read_host(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}


struct Call {
    const char* name;
    int transfers;     // bulk transfers the call makes when nothing goes wrong
    int chunk_pauses;  // 100 ms pauses it makes at most
};

class Unplug : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        char templ[] = "/tmp/qvunplugXXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
        fs::create_directory(target = root / "target");
        std::ofstream(root / "up.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }
    void TearDown() override {
        fs::remove_all(root);
        SimTest::TearDown();
    }

    // A 300-byte file travels in three chunks each way.
    int run(const Call& call) {
        const std::string name = call.name;
        if (name == "exchange") {
            int16_t value = 0;
            return GetDisplayLuminance(&value);
        }
        if (name == "upload") return SendFileToDisplay(1, (root / "up.bin").c_str());
        fw(0).state.transfer.files[3] = {{"down.bin", content, false}};
        return GetFileFromDisplay(3, target.c_str());
    }

    // Breaks the link at transfer `at` of the call with `error`, then brings the display back.
    void break_and_recover(const Call& call, int at, int error) {
        SCOPED_TRACE(std::string(call.name) + " breaks at transfer " + std::to_string(at) + " with " +
                     std::to_string(error));
        connect_first();
        LogMessage = 0;
        qv::sim::DeviceFaults& faults = bus->display(0).faults;
        faults.break_at_transfer = at;
        faults.break_error = error;
        const uint64_t start = clock.now_us();
        // (The exchange's own error lines print whatever the log switch.)
        output_of([&] { EXPECT_EQ(run(call), RC_EXCHANGE_FAILED); });
        EXPECT_LE(clock.now_us() - start, kExchangeBoundUs + static_cast<unsigned long long>(call.chunk_pauses) * 100'000ull);
        // Each exchange is two transfers and the first answers the count: every chunk answered
        // before the break stays in the file, under its own name.
        const int chunks = std::string(call.name) == "download" && at > 4 ? (at - 3) / 2 : 0;
        if (chunks == 0)
            EXPECT_TRUE(fs::is_empty(target)) << "nothing written";
        else
            EXPECT_EQ(read_host(target / "down.bin"), Bytes(content.begin(), content.begin() + 128 * chunks));

        // Disconnect returns; a display that is gone cannot release its interface.
        EXPECT_EQ(Disconnect(), error == qv::USB_ERROR_NO_DEVICE ? RC_FAILED : RC_OK);
        // Back: plugged in again at a new address, or restarted where it was (a reply it still
        // held is gone either way).
        if (error == qv::USB_ERROR_NO_DEVICE) {
            bus->replug(0, 7);
        } else {
            faults.broken = 0;
            bus->bridge(0).clear();
        }
        char serials[36] = {};
        output_of([&] {
            EXPECT_EQ(Scan(serials), 1);
            EXPECT_EQ(Connect(0), RC_OK);
        });
        EXPECT_EQ(bus->open_handles(), 1) << "the handle of the broken link is closed";
        EXPECT_EQ(run(call), RC_OK);
        if (std::string(call.name) == "download") {
            EXPECT_EQ(read_host(target / "down.bin"), content);
        } else if (std::string(call.name) == "upload") {
            EXPECT_EQ(fw(0).state.transfer.files[3].back().data, content);
        }
        EXPECT_EQ(Disconnect(), RC_OK);
        EXPECT_EQ(bus->open_handles(), 0);
        EXPECT_EQ(bus->open_lists(), 0);
        fs::remove_all(target);
        fs::create_directory(target);
        reset_library_state();
        make_bus(1);
    }

    const Bytes content = pattern(300);
    fs::path root, target;
};

TEST_F(Unplug, EveryTransferOfEveryKindOfCall) {
    // An exchange is one write and one read; an upload three of them; a download the count
    // query and three chunks.
    const Call calls[] = {{"exchange", 2, 0}, {"upload", 6, 0}, {"download", 8, 3}};
    for (const int error : {qv::USB_ERROR_NO_DEVICE, qv::USB_ERROR_PIPE, qv::USB_ERROR_TIMEOUT})
        for (const Call& call : calls)
            for (int at = 1; at <= call.transfers; ++at) {
                break_and_recover(call, at, error);
                if (HasFatalFailure()) return;
            }
}

}  // namespace
}  // namespace qvtest
