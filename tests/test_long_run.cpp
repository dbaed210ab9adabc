// A long-running host on the simulated bus: however many calls it makes, the library leaves no
// handle, device list or file descriptor behind, and the simulated display's own records
// stay bounded.
#include <filesystem>
#include <iterator>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

std::size_t open_descriptors() {
    namespace fs = std::filesystem;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

class LongRun : public SimTest {};

TEST_F(LongRun, ThousandScanConnectDisconnectCyclesLeaveNothingOpen) {
    make_bus(3);
    LogMessage = 0;
    char serials[36] = {};
    const std::size_t descriptors = open_descriptors();
    StdoutCapture quiet;  // "Moniter Type is ..." prints at every connect
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(Scan(serials), 3) << cycle;
        const auto slot = static_cast<int8_t>(cycle % 3);
        ASSERT_EQ(Connect(slot), RC_OK) << cycle;
        ASSERT_EQ(bus->open_handles(), 1) << cycle;
        ASSERT_EQ(Disconnect(), RC_OK) << cycle;
    }
    quiet.stop();
    EXPECT_EQ(bus->open_handles(), 0);
    EXPECT_EQ(bus->open_lists(), 0);
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(g_glimmetHandle, nullptr);
    EXPECT_EQ(bus->init_calls(), 1000);
}

// A display that never answers: every get waits out its ten attempts, a pause each.
TEST_F(LongRun, RecordsOfRequestsAndPausesStayBounded) {
    connect_first();
    LogMessage = 0;
    const std::size_t requests = qv::sim::Firmware::kRequestRecord;
    for (std::size_t i = 0; i < requests + 10; ++i)
        ASSERT_EQ(SetDisplayLuminance(static_cast<int16_t>(48 + i % 200)), RC_OK);
    ASSERT_EQ(fw().requests().size(), requests);
    EXPECT_EQ(fw().requests().back().bytes[7], static_cast<uint8_t>(48 + (requests + 9) % 200));
    EXPECT_EQ(fw().requests().front().bytes[7], static_cast<uint8_t>(48 + 10 % 200)) << "the oldest went first";

    bus->bridge(0).faults.no_reply = true;
    int16_t value = 0;
    StdoutCapture quiet;  // "Could not Read usb." prints whatever the log switch
    for (std::size_t i = 0; i < qv::sim::VirtualClock::kPauseRecord; ++i)
        ASSERT_EQ(GetDisplayLuminance(&value), RC_EXCHANGE_FAILED);
    quiet.stop();
    EXPECT_LE(clock.pauses().size(), 2 * qv::sim::VirtualClock::kPauseRecord);
    EXPECT_GE(clock.pauses().size(), qv::sim::VirtualClock::kPauseRecord);
    EXPECT_EQ(clock.now_us(), 10'000'000ull * qv::sim::VirtualClock::kPauseRecord) << "every pause still counts";
}

}  // namespace
}  // namespace qvtest
