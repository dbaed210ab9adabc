// The XML calibration actions against the simulated display, which works on each for a while
// of simulated time before it answers.
#include <string>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using ActionFn = int (*)();

struct Action {
    const char* name;
    ActionFn fn;
    uint8_t opcode;
    uint64_t timeout_s;  // read timeout of the opcode
    qv::sim::DisplayAction qv::sim::TransferState::*state;
};

const Action kActions[] = {
    {"ValidateTintwisecalXML", ValidateTintwisecalXML, 25, 10, &qv::sim::TransferState::validate_xml},
    {"PositionColorimeter", PositionColorimeter, 26, 1200, &qv::sim::TransferState::position_colorimeter},
    {"PerformTintwiseCalibration", PerformTintwiseCalibration, 27, 3600,
     &qv::sim::TransferState::tintwise_calibration},
};

constexpr uint64_t kSecond = 1000000;

class XmlActions : public SimTest {
protected:
    // A fresh display with calibration enabled; a reply left over from a timed-out action must
    // not reach the next case.
    void fresh_display() {
        if (bus) output_of([] { Disconnect(); });
        make_bus(1);
        connect_first();
        fw(0).set_u8("calibration", 1);
    }
    qv::sim::DisplayAction& state_of(const Action& a) { return fw(0).state.transfer.*a.state; }
    // The value line of the calibration-status query that PerformTintwiseCalibration makes.
    static std::string precondition_lines(const Action& a) {
        return a.opcode == 27 ? "Calibration Status is 1 \n" : "";
    }
};

TEST_F(XmlActions, EachWaitsForTheDisplayUpToItsReadTimeout) {
    for (const Action& a : kActions) {
        for (const bool late : {false, true}) {
            SCOPED_TRACE(std::string(a.name) + (late ? " late" : " just in time"));
            fresh_display();
            // The library reads at 0, 1, ... timeout-1 seconds.
            state_of(a).duration_us = (a.timeout_s - (late ? 0 : 1)) * kSecond;
            int rc = -99;
            const std::string out = without_info_lines(output_of([&] { rc = a.fn(); }));
            if (late) {
                EXPECT_EQ(rc, RC_EXCHANGE_FAILED);
                EXPECT_EQ(out, precondition_lines(a) + "<ERROR> RegUsbApi: Could not Read usb.\n<ERROR> " + a.name +
                                   ": RegUsbApi Failed.\n");
                EXPECT_EQ(clock.count_pauses(kSecond), a.timeout_s);
            } else {
                EXPECT_EQ(rc, RC_OK);
                EXPECT_EQ(out, precondition_lines(a));
                // Polled once per simulated second until the display answered.
                EXPECT_EQ(clock.count_pauses(kSecond), a.timeout_s - 1);
            }
            ASSERT_FALSE(fw(0).requests().empty());
            EXPECT_EQ(fw(0).requests().back().bytes, (std::vector<uint8_t>{a.opcode, 0}));
            EXPECT_EQ(fw(0).count_requests(a.opcode), 1u);
            EXPECT_EQ(state_of(a).runs, 1u);
        }
    }
}

TEST_F(XmlActions, ARefusedActionReportsTheDeviceStatus) {
    for (const int log : {1, 0}) {
        for (const Action& a : kActions) {
            SCOPED_TRACE(std::string(a.name) + " log " + std::to_string(log));
            fresh_display();
            state_of(a).status = 0xFF;
            LogMessage = static_cast<uint8_t>(log);
            int rc = -99;
            const std::string out = without_info_lines(output_of([&] { rc = a.fn(); }));
            EXPECT_EQ(rc, RC_DEVICE_STATUS);
            EXPECT_EQ(out, log == 1 ? precondition_lines(a) + "<ERROR> " + a.name + ": RegUsbApi Status Failed.\n"
                                    : "");
            LogMessage = 1;
        }
    }
}

TEST_F(XmlActions, CalibrationRunNeedsCalibrationEnabled) {
    fresh_display();
    fw(0).set_u8("calibration", 0);
    int rc = 0;
    std::string out = without_info_lines(output_of([&] { rc = PerformTintwiseCalibration(); }));
    EXPECT_EQ(rc, RC_NOT_ALLOWED);
    EXPECT_EQ(out, "Calibration Status is 0 \n<ERROR> PerformTintwiseCalibration: Calibration not enabled\n");

    // A failed status query counts as not enabled, after the query's own line.
    fw(0).set_u8("calibration", 1);
    fw(0).refuse(8, 6, 11, 1, 1);
    out = without_info_lines(output_of([&] { rc = PerformTintwiseCalibration(); }));
    EXPECT_EQ(rc, RC_NOT_ALLOWED);
    EXPECT_EQ(out,
              "<ERROR> GetCalibrationStatus: RegUsbApi Failed.\n"
              "<ERROR> PerformTintwiseCalibration: Calibration not enabled\n");

    fw(0).set_u8("calibration", 0);
    LogMessage = 0;
    out = without_info_lines(output_of([&] { rc = PerformTintwiseCalibration(); }));
    EXPECT_EQ(rc, RC_NOT_ALLOWED);
    EXPECT_EQ(out, "");

    EXPECT_EQ(fw(0).count_requests(27), 0u);
    EXPECT_EQ(fw(0).state.transfer.tintwise_calibration.runs, 0u);
}

TEST_F(XmlActions, WithoutADisplay) {
    struct Case {
        ActionFn fn;
        int rc;
        std::string out;
    };
    const Case cases[] = {
        {ValidateTintwisecalXML, RC_EXCHANGE_FAILED, "<ERROR> ValidateTintwisecalXML: RegUsbApi Failed.\n"},
        {PositionColorimeter, RC_EXCHANGE_FAILED, "<ERROR> PositionColorimeter: RegUsbApi Failed.\n"},
        {PerformTintwiseCalibration, RC_NOT_ALLOWED,
         "<ERROR> GetCalibrationStatus: RegUsbApi Failed.\n"
         "<ERROR> PerformTintwiseCalibration: Calibration not enabled\n"},
    };
    for (const Case& c : cases) {
        int rc = 0;
        EXPECT_EQ(without_info_lines(output_of([&] { rc = c.fn(); })), c.out);
        EXPECT_EQ(rc, c.rc);
    }
}

}  // namespace
}  // namespace qvtest
