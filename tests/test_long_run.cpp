// A long-running host on the simulated bus: the simulated display's own records stay bounded.
// (A thousand scan/connect/disconnect cycles leaving nothing open are the umockdev tests', on
// the real libusb backend.)
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class LongRun : public SimTest {};

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
