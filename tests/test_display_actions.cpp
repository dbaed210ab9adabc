// Every action of the header carried out on the simulated display: what it changes among the
// display's settings, and that it leaves every other setting as it was.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using qv::sim::Firmware;
using qv::sim::Payload;

class DisplayActions : public SimTest {};

void put_s16(Payload& p, int16_t v) {
    p[0] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
    p[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

TEST_F(DisplayActions, EachActionChangesWhatItSaysAndNothingElse) {
    const std::string upload = std::filesystem::temp_directory_path() / ("quorvex-action-" + std::to_string(getpid()));
    std::ofstream(upload, std::ios::binary) << std::string(300, 'L');
    struct Case {
        const char* what;
        std::function<void(Firmware&)> before;
        std::function<int()> action;
        int rc;
        std::set<std::string> changes;  // the settings the action may change
        std::function<void(Firmware&)> check;
    };
    const auto nothing = [](Firmware&) {};
    const Case cases[] = {
        {"load user preset", [](Firmware& f) { f.state.presets.user[1] = {true, 4, 200}; }, [] { return LoadUserPreset(2); },
         RC_OK, {"color-space", "luminance"},
         [](Firmware& f) {
             EXPECT_EQ(f.u8("color-space"), 4);
             EXPECT_EQ(f.s16("luminance"), 200);
         }},
        {"save user preset",
         [](Firmware& f) {
             f.set_u8("color-space", 5);
             f.set_s16("luminance", 180);
         },
         [] { return SaveUserPreset(3); }, RC_OK, {},
         [](Firmware& f) {
             const auto& p = f.state.presets.user[2];
             EXPECT_TRUE(p.saved && p.color_space == 5 && p.luminance == 180);
         }},
        {"user presets while their support is off", [](Firmware& f) { f.set_u8("user-preset-support", 0); },
         [] { return LoadUserPreset(2) == RC_DEVICE_STATUS ? SaveUserPreset(2) : RC_OK; }, RC_DEVICE_STATUS, {},
         [](Firmware& f) { EXPECT_EQ(f.state.presets.user[1].luminance, 100); }},
        {"recalibrate", [](Firmware& f) { f.set_s16("calibration-hours", 500); }, [] { return RecalibrateActivePreset(); },
         RC_OK, {"calibration-hours"}, [](Firmware& f) { EXPECT_EQ(f.s16("calibration-hours"), 0); }},
        {"configure and calibrate", [](Firmware& f) { f.set_s16("calibration-hours", 500); },
         [] { return ConfigureAndCalibratePreset(3, 1, 2, 3, 200); }, RC_OK,
         {"color-space", "luminance", "calibration-hours"},
         [](Firmware& f) {
             EXPECT_EQ(f.u8("color-space"), 3);
             EXPECT_EQ(f.s16("luminance"), 200);
             EXPECT_EQ(f.s16("calibration-hours"), 0);
         }},
        {"align the internal device", [](Firmware& f) { f.set_u8("external-instrument", 1); },
         [] { return AlignInternalCalibrationDevice(); }, RC_OK, {},
         [](Firmware& f) { EXPECT_EQ(f.state.presets.alignments, 1); }},
        {"power off the processor", nothing, [] { return PowerOffManageInternalProcessor(); }, RC_OK, {},
         [](Firmware& f) { EXPECT_TRUE(f.state.power.processor_off); }},
        {"lock the menu", nothing, [] { return LockManagementMenu(7); }, RC_OK, {"management-menu-lock"},
         [](Firmware& f) { EXPECT_EQ(f.u8("management-menu-lock"), 7); }},
        {"clear markers", [](Firmware& f) { f.payload("markers").fill(1); }, [] { return ClearMarkers(); }, RC_OK,
         {"markers"}, [](Firmware& f) { EXPECT_EQ(f.payload("markers"), Payload{}); }},
        {"clear PIP markers",
         [](Firmware& f) {
             f.set_u8("pip", 1);
             f.payload("pip-markers").fill(1);
         },
         [] { return ClearPIPMarkers(); }, RC_OK, {"pip-markers"},
         [](Firmware& f) { EXPECT_EQ(f.payload("pip-markers"), Payload{}); }},
        {"test pattern on", nothing, [] { return EnableTestPattern(); }, RC_OK, {"test-pattern"},
         [](Firmware& f) { EXPECT_EQ(f.u8("test-pattern"), qv::sim::kTestPatternReady); }},
        {"user-mode colour", [](Firmware& f) { f.set_u8("test-pattern", qv::sim::kTestPatternReady); },
         [] { return ShowTestPatternforUserMode(10, 20, 30); }, RC_OK, {"test-pattern"},
         [](Firmware& f) {
             EXPECT_EQ(f.u8("test-pattern"), qv::sim::kTestPatternUserColour);
             EXPECT_EQ(f.state.test_pattern.colour, (std::array<uint8_t, 3>{10, 20, 30}));
         }},
        {"service-mode pattern", [](Firmware& f) { f.set_u8("test-pattern", qv::sim::kTestPatternReady); },
         [] { return ShowTestPatternServiceMode(4); }, RC_OK, {"test-pattern"},
         [](Firmware& f) {
             EXPECT_EQ(f.u8("test-pattern"), qv::sim::kTestPatternBuiltIn);
             EXPECT_EQ(f.state.test_pattern.pattern, 4);
         }},
        {"test pattern off", [](Firmware& f) { f.set_u8("test-pattern", qv::sim::kTestPatternBuiltIn); },
         [] { return DisableTestPattern(); }, RC_OK, {"test-pattern"},
         [](Firmware& f) { EXPECT_EQ(f.u8("test-pattern"), qv::sim::kTestPatternOff); }},
        {"send a file", nothing, [&] { return SendFileToDisplay(1, upload.c_str()); }, RC_OK, {},
         [](Firmware& f) {
             const auto& files = f.state.transfer.files[3];
             ASSERT_EQ(files.size(), 2u);
             EXPECT_EQ(files[1].name, "upload1.bin");
             EXPECT_EQ(files[1].data, std::vector<uint8_t>(300, 'L'));
         }},
        {"validate the XML", nothing, [] { return ValidateTintwisecalXML(); }, RC_OK, {},
         [](Firmware& f) { EXPECT_EQ(f.state.transfer.validate_xml.runs, 1u); }},
        {"position the colorimeter", nothing, [] { return PositionColorimeter(); }, RC_OK, {},
         [](Firmware& f) { EXPECT_EQ(f.state.transfer.position_colorimeter.runs, 1u); }},
        {"XML calibration", [](Firmware& f) { f.set_s16("calibration-hours", 500); },
         [] { return PerformTintwiseCalibration(); }, RC_OK, {"calibration-hours"},
         [](Firmware& f) { EXPECT_EQ(f.s16("calibration-hours"), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        make_bus(1);
        connect_first();
        c.before(fw());
        const auto before = fw().stored_payloads();
        LogMessage = 0;
        StdoutCapture quiet;  // the guards' resolution lines
        EXPECT_EQ(c.action(), c.rc);
        quiet.stop();
        c.check(fw());
        for (const auto& [name, payload] : fw().stored_payloads())
            if (c.changes.count(name) == 0) {
                EXPECT_EQ(payload, before.at(name)) << name;
            }
        Disconnect();
    }
    std::remove(upload.c_str());
}

// A factory reset puts every setting a host can change back to its factory value (the values,
// texts and records of every family), and keeps what is the display's own: its counters, its
// files and its MAC.
TEST_F(DisplayActions, FactoryResetRestoresEverySetting) {
    make_bus(1);
    const auto factory_payloads = fw().stored_payloads();
    const auto factory_state = fw().state;
    connect_first();
    for (const auto* setting : fw().settings())
        put_s16(fw().payload(setting->name), static_cast<int16_t>(fw().s16(setting->name) + 3));
    auto& s = fw().state;
    s.colour.gains = {1, 2, 3};
    s.colour.offsets = {4, 5, 6};
    s.inputs.names[2] = {11, {'X'}, 1};
    s.network.address = {10, 0, 0, 9};
    s.network.mac = {1, 2, 3, 4, 5, 6};
    s.presets.user[0] = {true, 7, 77};
    s.transfer.files[4].clear();
    LogMessage = 0;
    ASSERT_EQ(FactoryReset(), RC_OK);
    for (const auto* setting : fw().settings()) {
        const bool host_changes = setting->set.group >= 0 && setting->width != qv::sim::Width::action;
        EXPECT_EQ(fw().payload(setting->name) == factory_payloads.at(setting->name), host_changes) << setting->name;
    }
    EXPECT_EQ(s.colour.gains, factory_state.colour.gains);
    EXPECT_EQ(s.colour.offsets, factory_state.colour.offsets);
    EXPECT_EQ(s.inputs.names[2].type, 0);
    EXPECT_EQ(s.network.address, factory_state.network.address);
    EXPECT_EQ(s.network.mac, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(s.presets.user[0].luminance, factory_state.presets.user[0].luminance);
    EXPECT_TRUE(s.transfer.files[4].empty());
    EXPECT_EQ(s.power.factory_resets, 1);
}

}  // namespace
}  // namespace qvtest
