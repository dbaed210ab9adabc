// Video inputs and USB binding against the simulated display.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Inputs : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::memcpy(saved_names_, byPredefinedInputNames, sizeof saved_names_);
        connect_first();
        LogMessage = 0;
    }
    void TearDown() override {
        std::memcpy(byPredefinedInputNames, saved_names_, sizeof saved_names_);
        SimTest::TearDown();
    }
    qv::sim::InputName& display_name(std::size_t input) { return fw().state.inputs.names[input]; }
    void set_binding_status(uint8_t status) {
        fw().set_u8("usb-port-binding", status);
        fw().clear_requests();
    }

private:
    char saved_names_[5][10][15] = {};
};

// ---------------------------------------------------------------- plain rows

struct PlainRow {
    const char* name;
    int (*get)(uint8_t*);
    int (*set)(uint8_t);
    uint8_t high;
    const char* line;  // value line with %d
};

const PlainRow kPlainRows[] = {
    {"ActiveVideoInput", GetActiveVideoInput, SetActiveVideoInput, 4, "Video Input is %d \n"},
    {"AutoSwitchStatus", GetAutoSwitchStatus, SetAutoSwitchStatus, 1, "Auto swith Status is %d \n"},
    {"USBPortBindingStatus", GetUSBPortBindingStatus, SetUSBPortBindingStatus, 3, "Port Binding Status is %d \n"},
};

TEST_F(Inputs, PlainSettingsCheckTheirRangeAndRoundTrip) {
    for (const PlainRow& row : kPlainRows) {
        SCOPED_TRACE(row.name);
        fw().clear_requests();
        // Past the top and a "negative" byte are refused without traffic.
        for (const uint8_t bad : {static_cast<uint8_t>(row.high + 1), static_cast<uint8_t>(255)}) {
            const std::string out = printed([&] { EXPECT_EQ(row.set(bad), RC_INVALID_ARGUMENT); });
            EXPECT_NE(out.find("Validation Failed.\n"), std::string::npos);
        }
        EXPECT_TRUE(fw().requests().empty());

        for (const uint8_t v : {static_cast<uint8_t>(0), row.high}) {
            ASSERT_EQ(row.set(v), RC_OK);
            const auto& sent = fw().requests().back().bytes;
            EXPECT_EQ(sent[7], v);
            EXPECT_EQ(sent[8], 0);
            uint8_t got = 0xEE;
            const std::string out = printed([&] { ASSERT_EQ(row.get(&got), RC_OK); });
            EXPECT_EQ(got, v);
            char line[64];
            std::snprintf(line, sizeof line, row.line, v);
            EXPECT_EQ(out, line);
        }
    }
}

// ---------------------------------------------------------------- input names

// The predefined names each input offers, as the display shows them back.
TEST_F(Inputs, PredefinedNamesOfferedPerInput) {
    const char* names[5][10] = {
        {"Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system", "Linux system", "macOS system", nullptr, nullptr, nullptr},
        {"Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system", "Linux system", "macOS system", nullptr, nullptr, nullptr},
        {"Workstation 1", "Workstation 2", "Laptop", nullptr, "Windows system", "Linux system", "macOS system", "Master", "Playback", "Client"},
        {"Workstation 1", "Workstation 2", "Laptop", nullptr, "Windows system", "Linux system", "macOS system", "Master", "Playback", "Client"},
        {"Workstation 1", "Workstation 2", "Laptop", nullptr, "Windows system", "Linux system", "macOS system", nullptr, nullptr, nullptr},
    };
    for (uint8_t input = 0; input < 5; ++input) {
        for (uint8_t type = 1; type <= 10; ++type) {
            SCOPED_TRACE(testing::Message() << "input " << int(input) << " type " << int(type));
            const char* want = names[input][type - 1];
            fw().clear_requests();
            const int rc = SetVideoInputName(input, type, nullptr);
            if (want == nullptr) {
                EXPECT_EQ(rc, RC_INVALID_ARGUMENT);
                EXPECT_TRUE(fw().requests().empty());
                continue;
            }
            ASSERT_EQ(rc, RC_OK);
            char name[15] = {};
            uint8_t status = 0xEE;
            ASSERT_EQ(GetVideoInputName(input, name, &status), RC_OK);
            EXPECT_STREQ(name, want);
            EXPECT_EQ(status, 0);
        }
    }
}

TEST_F(Inputs, GetNameChecksInputThenPointersWithoutTraffic) {
    char name[15];
    uint8_t status = 0;
    struct Case {
        uint8_t input;
        char* name;
        uint8_t* status;
        const char* line;
    } cases[] = {
        {5, name, &status, "<ERROR> GetVideoInputName:  Input Number Validation Failed.\n"},
        {5, nullptr, nullptr, "<ERROR> GetVideoInputName:  Input Number Validation Failed.\n"},
        {0, nullptr, &status, "<ERROR> GetVideoInputName:  Pointer Validation Failed.\n"},
        {0, name, nullptr, "<ERROR> GetVideoInputName:  Pointer Validation Failed.\n"},
    };
    for (const Case& c : cases) {
        const std::string out = printed([&] { EXPECT_EQ(GetVideoInputName(c.input, c.name, c.status), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, c.line);
    }
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Inputs, GetNameRequestCarriesTheRecordAtByteSeven) {
    char name[15];
    uint8_t status = 0;
    ASSERT_EQ(GetVideoInputName(3, name, &status), RC_OK);
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes, packet_with({{0, 8}, {4, 2}, {5, 2}, {7, 3}}));
}

TEST_F(Inputs, GetNameChoosesTheTextByTheReplysType) {
    display_name(2) = {0, {}, 0};
    display_name(3).type = 9;
    char name[15];
    uint8_t status = 0xEE;
    std::string out = printed([&] { ASSERT_EQ(GetVideoInputName(2, name, &status), RC_OK); });
    EXPECT_STREQ(name, "HDMI 1");
    out = printed([&] { ASSERT_EQ(GetVideoInputName(3, name, &status), RC_OK); });
    EXPECT_STREQ(name, "Playback");
    EXPECT_EQ(out, "video input number =3 \nvideo input name type =9 \ncustomname = Playback\ncustomname status= 0\n");

    // The custom-name status is the display's, whatever the type.
    display_name(4) = {0, {}, 1};
    ASSERT_EQ(GetVideoInputName(4, name, &status), RC_OK);
    EXPECT_STREQ(name, "USB Type-C");
    EXPECT_EQ(status, 1);
}

TEST_F(Inputs, CustomNameFromTheDisplayIsCutAtFourteen) {
    auto& n = display_name(1);
    n.type = 11;
    n.custom_status = 1;
    std::memset(n.custom.data(), 'x', n.custom.size());  // 15 characters, no NUL
    char buffer[20];
    std::memset(buffer, 'Z', sizeof buffer);
    uint8_t status = 0;
    ASSERT_EQ(GetVideoInputName(1, buffer, &status), RC_OK);
    EXPECT_EQ(std::string(buffer), std::string(14, 'x'));
    for (int i = 15; i < 20; ++i) EXPECT_EQ(buffer[i], 'Z') << i;
    EXPECT_EQ(status, 1);

    // A shorter name leaves the rest of the 15 bytes NUL.
    std::memset(n.custom.data(), 0, n.custom.size());
    std::memcpy(n.custom.data(), "Grade", 5);
    std::memset(buffer, 'Z', sizeof buffer);
    ASSERT_EQ(GetVideoInputName(1, buffer, &status), RC_OK);
    EXPECT_STREQ(buffer, "Grade");
    for (int i = 5; i < 15; ++i) EXPECT_EQ(buffer[i], '\0') << i;
}

TEST_F(Inputs, UnterminatedPredefinedEntryIsCutNotOverrun) {
    std::memset(byPredefinedInputNames[0][0], 'w', 15);
    display_name(0).type = 1;
    char buffer[20];
    std::memset(buffer, 'Z', sizeof buffer);
    uint8_t status = 0;
    ASSERT_EQ(GetVideoInputName(0, buffer, &status), RC_OK);
    EXPECT_EQ(std::string(buffer), std::string(14, 'w'));
    for (int i = 15; i < 20; ++i) EXPECT_EQ(buffer[i], 'Z') << i;
}

TEST_F(Inputs, HostChangesToThePredefinedTableTakeEffectAtOnce) {
    EXPECT_EQ(SetVideoInputName(0, 8, nullptr), RC_INVALID_ARGUMENT);
    std::strcpy(byPredefinedInputNames[0][7], "Edit suite");
    ASSERT_EQ(SetVideoInputName(0, 8, nullptr), RC_OK);
    char name[15];
    uint8_t status = 0;
    ASSERT_EQ(GetVideoInputName(0, name, &status), RC_OK);
    EXPECT_STREQ(name, "Edit suite");
}

TEST_F(Inputs, NameTypeBeyondCustomIsReportedAndWritesNothing) {
    display_name(2).type = 12;
    char name[15] = "unchanged";
    uint8_t status = 0x5A;
    const std::string out = printed([&] { EXPECT_EQ(GetVideoInputName(2, name, &status), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetVideoInputName: RegUsbApi Failed.\n");
    EXPECT_STREQ(name, "unchanged");
    EXPECT_EQ(status, 0x5A);
}

TEST_F(Inputs, GetNameFailuresLeaveOutputsAlone) {
    char name[15] = "unchanged";
    uint8_t status = 0x5A;
    fw().refuse(8, 2, 2, 1, 1);
    std::string out = printed([&] { EXPECT_EQ(GetVideoInputName(0, name, &status), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetVideoInputName: RegUsbApi Failed.\n");
    bus->bridge(0).faults.no_reply = true;
    out = printed([&] { EXPECT_EQ(GetVideoInputName(0, name, &status), RC_EXCHANGE_FAILED); });
    EXPECT_NE(out.find("<ERROR> GetVideoInputName: RegUsbApi Failed.\n"), std::string::npos);
    EXPECT_STREQ(name, "unchanged");
    EXPECT_EQ(status, 0x5A);
}

TEST_F(Inputs, SetNameRequestLayout) {
    struct Case {
        const char* what;
        uint8_t input, type;
        const char* custom;
        std::vector<uint8_t> expected;
    };
    auto custom_packet = [](uint8_t input, const char* text, std::size_t n) {
        auto p = packet_with({{0, 3}, {4, 1}, {5, 2}, {7, input}, {8, input}, {9, 11}, {25, 1}});
        std::memcpy(p.data() + 10, text, n);
        return p;
    };
    const Case cases[] = {
        {"custom", 3, 11, "Edit bay", custom_packet(3, "Edit bay", 8)},
        {"custom cut at 14", 0, 11, "ABCDEFGHIJKLMNOPQRST", custom_packet(0, "ABCDEFGHIJKLMN", 14)},
        {"empty custom", 1, 11, "", custom_packet(1, "", 0)},
        {"default", 4, 0, nullptr, packet_with({{0, 3}, {4, 1}, {5, 2}, {7, 4}, {8, 4}})},
        {"default ignores text", 4, 0, "ignored", packet_with({{0, 3}, {4, 1}, {5, 2}, {7, 4}, {8, 4}})},
        {"predefined, no text", 2, 8, nullptr, packet_with({{0, 3}, {4, 1}, {5, 2}, {7, 2}, {8, 2}, {9, 8}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fw().clear_requests();
        const std::string out = printed([&] { ASSERT_EQ(SetVideoInputName(c.input, c.type, c.custom), RC_OK); });
        EXPECT_EQ(out, "");
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_EQ(fw().requests()[0].bytes, c.expected);
    }
    // The display keeps what was set: the 20-character name comes back cut.
    char name[15];
    uint8_t status = 0;
    ASSERT_EQ(GetVideoInputName(0, name, &status), RC_OK);
    EXPECT_STREQ(name, "ABCDEFGHIJKLMN");
    EXPECT_EQ(status, 1);
}

TEST_F(Inputs, SetNameRefusalsSendNothing) {
    struct Case {
        uint8_t input, type;
        const char* custom;
        const char* out;
    } cases[] = {
        {5, 0, nullptr, "<ERROR> SetVideoInputName: Validation Failed.\n"},
        {5, 12, "x", "<ERROR> SetVideoInputName: Validation Failed.\n"},  // first failure decides, one line
        {0, 12, "x", "<ERROR> SetVideoInputName: Validation Failed.\n"},
        {0, 255, "x", "<ERROR> SetVideoInputName: Validation Failed.\n"},
        {0, 8, nullptr, "<ERROR> SetVideoInputName: Validation Failed.\n"},  // input 0 offers no type 8
        {4, 4, "x", "<ERROR> SetVideoInputName: Validation Failed.\n"},
        {1, 11, nullptr, ""},                                                 // no custom text: silent
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.input) << "/" << int(c.type));
        const std::string out = printed([&] { EXPECT_EQ(SetVideoInputName(c.input, c.type, c.custom), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, c.out);
    }
    EXPECT_TRUE(fw().requests().empty());
}

// ---------------------------------------------------------------- USB binding configuration

TEST_F(Inputs, BindingConfigurationNeedsBindingStatusThree) {
    for (const uint8_t binding : std::initializer_list<uint8_t>{0, 1, 2}) {
        SCOPED_TRACE(int(binding));
        set_binding_status(binding);
        uint8_t usb1 = 0xEE, usb2 = 0xEE;
        std::string out = printed([&] { EXPECT_EQ(GetUSBBindingConfiguration(&usb1, &usb2), RC_NOT_ALLOWED); });
        EXPECT_EQ(out, "Port Binding Status is " + std::to_string(binding) +
                           " \n<ERROR> GetUSBBindingConfiguration: USB Binding Not Enabled.\n");
        EXPECT_EQ(usb1, 0xEE);
        EXPECT_EQ(usb2, 0xEE);
        // Valid arguments still meet the precondition first.
        out = printed([&] { EXPECT_EQ(SetUSBBindingConfiguration(0, 0), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, "Port Binding Status is " + std::to_string(binding) +
                           " \n<ERROR> SetUSBBindingConfiguration: USB Binding Not Enabled.\n");
        // Invalid ones too: the precondition decides.
        out = printed([&] { EXPECT_EQ(SetUSBBindingConfiguration(9, 9), RC_INVALID_ARGUMENT); });
        EXPECT_NE(out.find("USB Binding Not Enabled."), std::string::npos);
        // Only the status reads went out.
        EXPECT_EQ(fw().requests().size(), 3u);
        EXPECT_EQ(fw().count_requests(8, 1, 3), 3u);
    }
}

TEST_F(Inputs, UnreadableBindingStatusGivesTwoDifferentCodes) {
    set_binding_status(3);
    fw().refuse(8, 1, 3, 1);
    uint8_t usb1 = 0, usb2 = 0;
    std::string out = printed([&] { EXPECT_EQ(GetUSBBindingConfiguration(&usb1, &usb2), RC_DEVICE_STATUS); });
    EXPECT_EQ(out, "<ERROR> GetUSBPortBindingStatus: RegUsbApi Failed.\n"
                   "<ERROR> GetUSBBindingConfiguration: RegUsbApi Failed.\n");
    out = printed([&] { EXPECT_EQ(SetUSBBindingConfiguration(1, 1), RC_INVALID_ARGUMENT); });
    EXPECT_EQ(out, "<ERROR> GetUSBPortBindingStatus: RegUsbApi Failed.\n"
                   "<ERROR> SetUSBBindingConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(fw().count_requests(8, 1, 4) + fw().count_requests(3, 1, 4), 0u);

    fw().clear_refusals();
    bus->bridge(0).faults.no_reply = true;
    EXPECT_EQ(GetUSBBindingConfiguration(&usb1, &usb2), RC_EXCHANGE_FAILED);
    EXPECT_EQ(SetUSBBindingConfiguration(1, 1), RC_INVALID_ARGUMENT);
}

TEST_F(Inputs, BindingArgumentsCheckedInOrderAfterThePrecondition) {
    set_binding_status(3);
    struct Case {
        uint8_t usb1, usb2;
        const char* line;
    } cases[] = {
        {4, 0, "<ERROR> SetUSBBindingConfiguration: USB 1 Binding Validation Failed.\n"},
        {4, 9, "<ERROR> SetUSBBindingConfiguration: USB 1 Binding Validation Failed.\n"},
        {255, 0, "<ERROR> SetUSBBindingConfiguration: USB 1 Binding Validation Failed.\n"},
        {0, 5, "<ERROR> SetUSBBindingConfiguration: USB 2 Binding Validation Failed.\n"},
        {3, 200, "<ERROR> SetUSBBindingConfiguration: USB 2 Binding Validation Failed.\n"},
    };
    for (const auto& c : cases) {
        const std::string out = printed([&] { EXPECT_EQ(SetUSBBindingConfiguration(c.usb1, c.usb2), RC_INVALID_ARGUMENT); });
        EXPECT_EQ(out, std::string("Port Binding Status is 3 \n") + c.line);
    }
    EXPECT_EQ(fw().requests().size(), std::size(cases));  // status reads only
}

TEST_F(Inputs, BindingConfigurationRoundTrip) {
    set_binding_status(3);
    ASSERT_EQ(SetUSBBindingConfiguration(0, 4), RC_OK);
    ASSERT_EQ(fw().requests().size(), 2u);
    EXPECT_EQ(fw().requests()[1].bytes, packet_with({{0, 3}, {4, 1}, {5, 4}, {7, 0}, {8, 4}}));
    ASSERT_EQ(SetUSBBindingConfiguration(3, 2), RC_OK);
    uint8_t usb1 = 0, usb2 = 0;
    const std::string out = printed([&] { ASSERT_EQ(GetUSBBindingConfiguration(&usb1, &usb2), RC_OK); });
    EXPECT_EQ(usb1, 3);
    EXPECT_EQ(usb2, 2);
    EXPECT_EQ(out, "Port Binding Status is 3 \nUSB1 Binding Status is 3 \nUSB2 Binding Status is 2 \n");

    fw().refuse(3, 1, 4, 2, 1);
    EXPECT_EQ(SetUSBBindingConfiguration(1, 1), RC_DEVICE_STATUS);
    fw().refuse(8, 1, 4, 2, 1);
    usb1 = usb2 = 0xEE;
    EXPECT_EQ(GetUSBBindingConfiguration(&usb1, &usb2), RC_DEVICE_STATUS);
    EXPECT_EQ(usb1, 0xEE);
}

}  // namespace
}  // namespace qvtest
