// Identity, counters and status readouts against the simulated display: signed hour counters,
// the firmware revision, the information strings (their own 103-byte packet) and the two
// different refusal lines.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using S = std::string;

class Identity : public SimTest {
protected:
    void SetUp() override { SimTest::SetUp(); connect_first(); }
    // Runs f with logging on, expecting result rc; returns what it printed (what it sent stays in fw()).
    S run(const std::function<int()>& f, int rc) {
        fw().clear_requests();
        return says(rc, f);
    }
};

// Every call into a 32-byte buffer: the value it reads (the stored payload bytes and the value line;
// strings below), then a refusal of its request (status 5): the line, -4, and the buffer left alone.
TEST_F(Identity, ValuesAndRefusalLines) {
    const char* frame = "RegUsbApi Failed.";
    const char* status = "RegUsbApi Status Failed.";
    const auto s16 = [](int (*f)(int16_t*)) { return [f](char* b) { return f(reinterpret_cast<int16_t*>(b)); }; };
    const auto u8 = [](int (*f)(uint8_t*)) { return [f](char* b) { return f(reinterpret_cast<uint8_t*>(b)); }; };
    const struct { const char* name; std::function<int(char*)> call; int opcode, group, item;
                   const char *refusal, *setting; S value; const char* line; } calls[] = {
        {"GetCalibrationHours", s16(GetCalibrationHours), 8, 10, 10, frame, "calibration-hours", "\x10\x27", "Calibration Hours is 10000 \n"},
        {"GetBacklightHours", s16(GetBacklightHours), 8, 10, 11, frame, "backlight-hours", "\xFF\xFF", "Backlight Hours = -1 \n"},
        {"GetFirmwareRevision", GetFirmwareRevision, 8, 11, 1, frame, nullptr, "", nullptr},
        {"GetCustomerIDAsset", GetCustomerIDAsset, 20, -1, -1, status, nullptr, "", nullptr},
        {"GetDeploymentDate", GetDeploymentDate, 20, -1, -1, status, nullptr, "", nullptr},
        {"GetDeploymentLocation", GetDeploymentLocation, 20, -1, -1, status, nullptr, "", nullptr},
        {"GetDisplayName", GetDisplayName, 20, -1, -1, status, nullptr, "", nullptr},
        {"GetColorManagementEngineStatus", u8(GetColorManagementEngineStatus), 8, 17, 1, status, "color-management-engine",
         "\xC8", "ColorManagement Engine Status is 200 \n"},
        {"GetDitheringModeStatus", u8(GetDitheringModeStatus), 8, 17, 2, status, "dithering-mode", "\xC8",
         "Dithering Mode  status is 200 \n"},
        {"GetCalibrationAlertLimit", u8(GetCalibrationAlertLimit), 8, 17, 3, status, "calibration-alert-limit", "\xC8",
         "Calibration Alert limit is 200 \n"},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.name);
        alignas(8) char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer);
        if (c.setting != nullptr) {
            std::memcpy(fw().payload(c.setting).data(), c.value.data(), c.value.size());
            EXPECT_EQ(run([&] { return c.call(buffer); }, RC_OK), c.line);
            EXPECT_EQ(sent(fw()), std::vector<S>{"get " + std::to_string(c.group) + "," + std::to_string(c.item)});
            EXPECT_EQ(S(buffer, 3), (c.value + "ZZ").substr(0, 3));
            std::memset(buffer, 'Z', sizeof buffer);
        }
        fw().refuse(c.opcode, c.group, c.item, 5, 2);
        EXPECT_EQ(run([&] { return c.call(buffer); }, RC_DEVICE_STATUS), S("<ERROR> ") + c.name + ": " + c.refusal + "\n");
        EXPECT_EQ(fw().requests().size(), 1u);
        EXPECT_EQ(output_of([&] { c.call(buffer); }), "");  // logging is off after run()
        EXPECT_EQ(S(buffer, sizeof buffer), S(sizeof buffer, 'Z'));
    }
}

TEST_F(Identity, FirmwareRevisionIsSevenBytesAndANul) {
    for (const auto& [stored, expected] : {std::pair<S, S>{"ABCDEFGHIJ", S("ABCDEFG\0", 8)},
                                           {S("1.2\0xyz", 7), S("1.2\0xyz\0", 8)}}) {  // NULs copied as they are
        fw().state.identity.firmware_revision = stored;
        char revision[12];
        std::memset(revision, 'Z', sizeof revision);
        EXPECT_EQ(run([&] { return GetFirmwareRevision(revision); }, RC_OK), "Firmware Revision is " + S(expected.c_str()) + " \n");
        EXPECT_EQ(S(revision, sizeof revision), expected + "ZZZZ");
        EXPECT_EQ(sent(fw()), std::vector<S>{"get 11,1"});
    }
}

// Each string: its 103-byte request, and all of the caller's bytes written (at most 18 or 10
// characters, NUL-filled) and not one more, whatever the display's text holds.
TEST_F(Identity, InformationStringsAreCutToTheCallersBuffer) {
    const struct { int (*get)(char*); uint8_t selector; std::size_t size; const char* line; } strings[] = {
        {GetCustomerIDAsset, 0, 19, "Customer Asset ID is "},
        {GetDeploymentDate, 1, 11, "DeploymentDate = "},
        {GetDeploymentLocation, 2, 19, "Deployment location is "},
        {GetDisplayName, 3, 19, "Display name is "},
    };
    for (const auto& s : strings) {
        std::vector<uint8_t> request(103, 0);
        request[0] = 20; request[2] = s.selector;
        for (const S& stored : {S("Suite 4"), S("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"), S(100, 'x'), S()}) {
            SCOPED_TRACE(s.line + stored);
            fw().state.identity.info[s.selector] = stored;
            char text[32];
            std::memset(text, 'Z', sizeof text);
            S expected = stored.substr(0, s.size - 1);
            EXPECT_EQ(run([&] { return s.get(text); }, RC_OK), s.line + expected + " \n");
            ASSERT_EQ(fw().requests().size(), 1u);
            EXPECT_EQ(fw().requests()[0].bytes, request);
            expected.resize(s.size, '\0');
            EXPECT_EQ(S(text, s.size + 1), expected + 'Z');
        }
    }
}

}  // namespace
}  // namespace qvtest
