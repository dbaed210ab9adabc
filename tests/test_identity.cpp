// Identity, counters and status readouts against the simulated display: hour counters, the
// firmware revision, the four information strings (103-byte packets) and the refusal lines.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::Request;

class Identity : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
    }
    int run(const std::function<int()>& f, std::string* printed = nullptr) {
        fw().clear_requests();
        int rc = 0;
        const std::string out = output_of([&] { rc = f(); });
        if (printed != nullptr) *printed = without_info_lines(out);
        return rc;
    }
};

constexpr uint64_t kHourUs = 3600ull * 1000 * 1000;

// ---------------------------------------------------------------- hour counters

struct Counter {
    const char* name;
    const char* setting;
    int (*get)(int16_t*);
    int group, item;
    const char* line;  // with %d
};

const Counter kCounters[] = {
    {"GetCalibrationHours", "calibration-hours", GetCalibrationHours, 10, 10, "Calibration Hours is %d \n"},
    {"GetBacklightHours", "backlight-hours", GetBacklightHours, 10, 11, "Backlight Hours = %d \n"},
};

std::string line(const char* format, int value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

TEST_F(Identity, HourCountersAreSigned16BitValues) {
    for (const Counter& c : kCounters) {
        SCOPED_TRACE(c.name);
        for (const int16_t stored : {int16_t{10000}, int16_t{-1}, int16_t{0}}) {
            fw().set_s16(c.setting, stored);
            int16_t hours = 7;
            std::string out;
            EXPECT_EQ(run([&] { return c.get(&hours); }, &out), RC_OK);
            EXPECT_EQ(hours, stored);
            EXPECT_EQ(out, line(c.line, stored));
            ASSERT_EQ(fw().requests().size(), 1u);
            EXPECT_TRUE(fw().requests()[0].is_get(c.group, c.item));
        }
    }
}

TEST_F(Identity, HourCountersGrowWithTime) {
    fw().set_s16("calibration-hours", 100);
    fw().set_s16("backlight-hours", 2000);
    int16_t cal = 0;
    int16_t backlight = 0;
    clock.advance_us(3 * kHourUs + kHourUs / 2);
    ASSERT_EQ(GetCalibrationHours(&cal), RC_OK);
    ASSERT_EQ(GetBacklightHours(&backlight), RC_OK);
    EXPECT_EQ(cal, 103);
    EXPECT_EQ(backlight, 2003);
    clock.advance_us(kHourUs / 2);  // the half hour carried over completes the fourth
    ASSERT_EQ(GetBacklightHours(&backlight), RC_OK);
    EXPECT_EQ(backlight, 2004);
}

// ---------------------------------------------------------------- status readouts

struct Readout {
    const char* name;
    const char* setting;
    int (*get)(uint8_t*);
    int item;
    const char* line;
};

const Readout kReadouts[] = {
    {"GetColorManagementEngineStatus", "color-management-engine", GetColorManagementEngineStatus, 1,
     "ColorManagement Engine Status is %d \n"},
    {"GetDitheringModeStatus", "dithering-mode", GetDitheringModeStatus, 2, "Dithering Mode  status is %d \n"},
    {"GetCalibrationAlertLimit", "calibration-alert-limit", GetCalibrationAlertLimit, 3,
     "Calibration Alert limit is %d \n"},
};

TEST_F(Identity, StatusReadouts) {
    for (const Readout& r : kReadouts) {
        SCOPED_TRACE(r.name);
        fw().set_u8(r.setting, 200);
        uint8_t v = 0;
        std::string out;
        EXPECT_EQ(run([&] { return r.get(&v); }, &out), RC_OK);
        EXPECT_EQ(v, 200);
        EXPECT_EQ(out, line(r.line, 200));  // unsigned
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_TRUE(fw().requests()[0].is_get(17, r.item));
    }
}

// ---------------------------------------------------------------- firmware revision

TEST_F(Identity, FirmwareRevisionIsSevenBytesAndANul) {
    struct Case {
        std::string stored;
        std::string expected;  // all 8 bytes
    };
    const std::vector<Case> cases = {
        {"2.14.07", std::string("2.14.07\0", 8)},
        {"ABCDEFGHIJ", std::string("ABCDEFG\0", 8)},                  // longer: cut at 7
        {std::string("1.2\0xyz", 7), std::string("1.2\0xyz\0", 8)},  // NULs copied as they are
        {"1.0", std::string("1.0\0\0\0\0\0", 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        fw().state.identity.firmware_revision = c.stored;
        char revision[12];
        std::memset(revision, 'Z', sizeof revision);
        std::string out;
        ASSERT_EQ(run([&] { return GetFirmwareRevision(revision); }, &out), RC_OK);
        EXPECT_EQ(std::string(revision, 8), c.expected);
        EXPECT_EQ(std::string(revision + 8, 4), "ZZZZ");
        EXPECT_EQ(out, "Firmware Revision is " + std::string(c.expected.c_str()) + " \n");
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_TRUE(fw().requests()[0].is_get(11, 1));
    }
}

// ---------------------------------------------------------------- information strings

struct InfoString {
    const char* name;
    int (*get)(char*);
    uint8_t selector;
    std::size_t size;  // caller's buffer
    const char* line;  // with %s
};

const InfoString kInfoStrings[] = {
    {"GetCustomerIDAsset", GetCustomerIDAsset, 0, 19, "Customer Asset ID is %s \n"},
    {"GetDeploymentDate", GetDeploymentDate, 1, 11, "DeploymentDate = %s \n"},
    {"GetDeploymentLocation", GetDeploymentLocation, 2, 19, "Deployment location is %s \n"},
    {"GetDisplayName", GetDisplayName, 3, 19, "Display name is %s \n"},
};

TEST_F(Identity, InformationStringRequest) {
    for (const InfoString& s : kInfoStrings) {
        SCOPED_TRACE(s.name);
        char text[32];
        ASSERT_EQ(run([&] { return s.get(text); }), RC_OK);
        ASSERT_EQ(fw().requests().size(), 1u);
        std::vector<uint8_t> expected(103, 0);
        expected[0] = 20;
        expected[2] = s.selector;
        EXPECT_EQ(fw().requests()[0].bytes, expected);
    }
}

TEST_F(Identity, InformationStringsAreCutToTheCallersBuffer) {
    const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 characters
    const std::string unterminated(100, 'x');                        // the whole text area, no NUL
    for (const InfoString& s : kInfoStrings) {
        SCOPED_TRACE(s.name);
        const std::size_t max = s.size - 1;
        for (const std::string& stored : {std::string("Suite 4"), thirty, unterminated, std::string()}) {
            fw().state.identity.info[s.selector] = stored;
            char text[32];
            std::memset(text, 'Z', sizeof text);
            std::string out;
            ASSERT_EQ(run([&] { return s.get(text); }, &out), RC_OK);
            std::string expected = stored.substr(0, max);
            expected.resize(s.size, '\0');  // all of the caller's bytes written, NUL-filled
            EXPECT_EQ(std::string(text, s.size), expected);
            EXPECT_EQ(text[s.size], 'Z');  // and not one more
            char want[160];
            std::snprintf(want, sizeof want, s.line, stored.substr(0, max).c_str());
            EXPECT_EQ(out, want);
        }
    }
}

TEST_F(Identity, DeploymentDateDropsAnEleventhCharacter) {
    fw().state.identity.info[1] = "2024-03-18X";
    char date[11];
    ASSERT_EQ(GetDeploymentDate(date), RC_OK);
    EXPECT_STREQ(date, "2024-03-18");

    fw().state.identity.info[3] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    char name[19];
    ASSERT_EQ(GetDisplayName(name), RC_OK);
    EXPECT_STREQ(name, "ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(name[18], '\0');
}

// ---------------------------------------------------------------- refusals and failures

struct AnyCall {
    const char* name;
    std::function<int(char*)> call;  // into a caller buffer of 32 bytes, aligned for any value
    int opcode, group, item;         // to refuse
    const char* refusal;             // the line for a non-zero status
};

std::vector<AnyCall> all_calls() {
    const char* frame = "RegUsbApi Failed.";
    const char* status = "RegUsbApi Status Failed.";
    auto s16 = [](int (*f)(int16_t*)) { return [f](char* b) { return f(reinterpret_cast<int16_t*>(b)); }; };
    auto u8 = [](int (*f)(uint8_t*)) { return [f](char* b) { return f(reinterpret_cast<uint8_t*>(b)); }; };
    return {
        {"GetCalibrationHours", s16(GetCalibrationHours), 8, 10, 10, frame},
        {"GetBacklightHours", s16(GetBacklightHours), 8, 10, 11, frame},
        {"GetFirmwareRevision", GetFirmwareRevision, 8, 11, 1, frame},
        {"GetCustomerIDAsset", GetCustomerIDAsset, 20, -1, -1, status},
        {"GetDeploymentDate", GetDeploymentDate, 20, -1, -1, status},
        {"GetDeploymentLocation", GetDeploymentLocation, 20, -1, -1, status},
        {"GetDisplayName", GetDisplayName, 20, -1, -1, status},
        {"GetColorManagementEngineStatus", u8(GetColorManagementEngineStatus), 8, 17, 1, status},
        {"GetDitheringModeStatus", u8(GetDitheringModeStatus), 8, 17, 2, status},
        {"GetCalibrationAlertLimit", u8(GetCalibrationAlertLimit), 8, 17, 3, status},
    };
}

TEST_F(Identity, RefusalLinesAndUntouchedBuffers) {
    for (const AnyCall& c : all_calls()) {
        SCOPED_TRACE(c.name);
        fw().clear_refusals();
        fw().refuse(c.opcode, c.group, c.item, 5);
        alignas(8) char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer);
        std::string out;
        EXPECT_EQ(run([&] { return c.call(buffer); }, &out), RC_DEVICE_STATUS);
        EXPECT_EQ(out, std::string("<ERROR> ") + c.name + ": " + c.refusal + "\n");
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Z'));
        EXPECT_EQ(fw().requests().size(), 1u);

        // Logging off: the refusal is silent.
        SetLog(0);
        EXPECT_EQ(run([&] { return c.call(buffer); }, &out), RC_DEVICE_STATUS);
        EXPECT_EQ(out, "");
        SetLog(1);
    }
}

TEST_F(Identity, WithoutAConnectionEveryReadFailsTheExchange) {
    {
        StdoutCapture quiet;
        ASSERT_EQ(Disconnect(), RC_OK);
    }
    for (const AnyCall& c : all_calls()) {
        SCOPED_TRACE(c.name);
        alignas(8) char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer);
        std::string out;
        EXPECT_EQ(run([&] { return c.call(buffer); }, &out), RC_EXCHANGE_FAILED);
        EXPECT_EQ(out, std::string("<ERROR> ") + c.name + ": RegUsbApi Failed.\n");
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Z'));
        EXPECT_TRUE(fw().requests().empty());
    }
}

}  // namespace
}  // namespace qvtest
