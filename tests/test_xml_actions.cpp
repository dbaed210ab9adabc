// The XML calibration actions against the simulated display, which works on each for a while
// of simulated time before it answers.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using State = qv::sim::TransferState;
constexpr uint64_t kSecond = 1000000;

class XmlActions : public SimTest {};

TEST_F(XmlActions, EachWaitsUpToItsReadTimeoutAndReportsTheDisplaysStatus) {
    const std::tuple<const char*, int (*)(), uint8_t, uint64_t, qv::sim::DisplayAction State::*> actions[] = {
        {"ValidateTintwisecalXML", ValidateTintwisecalXML, 25, 10, &State::validate_xml},
        {"PositionColorimeter", PositionColorimeter, 26, 1200, &State::position_colorimeter},
        {"PerformTintwiseCalibration", PerformTintwiseCalibration, 27, 3600, &State::tintwise_calibration}};
    for (const auto& [name, fn, opcode, timeout_s, state] : actions) {
        const std::string pre = opcode == 27 ? "Calibration Status is 1 \n" : "";  // the precondition's query
        // The display answers after this many seconds (the library reads at 0, 1, ... timeout-1) with this
        // status; logging; result and output.
        const std::tuple<uint64_t, uint8_t, uint8_t, int, std::string> cases[] = {
            {timeout_s - 1, 0, 1, RC_OK, pre},
            {timeout_s, 0, 1, RC_EXCHANGE_FAILED,
             pre + "<ERROR> RegUsbApi: Could not Read usb.\n<ERROR> " + name + ": RegUsbApi Failed.\n"},
            {0, 0xFF, 1, RC_DEVICE_STATUS, pre + "<ERROR> " + name + ": RegUsbApi Status Failed.\n"},
            {0, 0xFF, 0, RC_DEVICE_STATUS, ""}};
        for (const auto& [answer_s, status, log, rc, out] : cases) {
            SCOPED_TRACE(std::string(name) + " after " + std::to_string(answer_s) + " s, log " + std::to_string(log));
            connect_first();  // a fresh display (calibration on): no reply left over from a timeout
            fw(0).state.transfer.*state = {answer_s * kSecond, status};
            LogMessage = log;
            int result = 0;
            EXPECT_EQ(without_info_lines(output_of([&] { result = fn(); })), out);
            EXPECT_EQ(result, rc);
            EXPECT_EQ(clock.count_pauses(kSecond), std::min(answer_s, timeout_s));  // polled once a second
            EXPECT_EQ(fw(0).requests().back().bytes, (std::vector<uint8_t>{opcode, 0}));
            EXPECT_EQ(fw(0).count_requests(opcode), 1u);
            output_of([] { Disconnect(); });
            bus.reset();
        }
    }
}

TEST_F(XmlActions, CalibrationRunNeedsCalibrationEnabled) {
    connect_first();
    fw(0).set_u8("calibration", 0);
    EXPECT_EQ(printed([] { EXPECT_EQ(PerformTintwiseCalibration(), RC_NOT_ALLOWED); }),
              "Calibration Status is 0 \n<ERROR> PerformTintwiseCalibration: Calibration not enabled\n");
    EXPECT_EQ(output_of([] { EXPECT_EQ(PerformTintwiseCalibration(), RC_NOT_ALLOWED); }), "");  // logging off
    EXPECT_EQ(sent(fw(0)), (std::vector<std::string>(2, "get 6,11")));
}

}  // namespace
}  // namespace qvtest
