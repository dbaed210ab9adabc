// Video inputs and USB binding against the simulated display.
#include <array>
#include <cstring>

#include "support/setting_cases.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Inputs : public SettingTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::memcpy(saved_, byPredefinedInputNames, sizeof saved_);  // a test may edit the table
        connect_first();
        LogMessage = 0;
    }
    void TearDown() override {
        std::memcpy(byPredefinedInputNames, saved_, sizeof saved_);
        SimTest::TearDown();
    }
    char saved_[5][10][15] = {};
};

// Every name type of every input: set (only the type travels), then read back as its text.
TEST_F(Inputs, DefaultAndPredefinedNamesPerInput) {
    const char* const defaults[5] = {"DisplayPort 1", "DisplayPort 2", "HDMI 1", "HDMI 2", "USB Type-C"};
    const char* const dp[10] = {"Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system",
                                "Linux system", "macOS system", "", "", ""};
    const char* const hdmi[10] = {"Workstation 1", "Workstation 2", "Laptop", "", "Windows system",
                                  "Linux system", "macOS system", "Master", "Playback", "Client"};
    const char* const usbc[10] = {"Workstation 1", "Workstation 2", "Laptop", "", "Windows system",
                                  "Linux system", "macOS system", "", "", ""};
    const char* const* offered[5] = {dp, dp, hdmi, hdmi, usbc};
    for (uint8_t input = 0; input < 5; ++input) {
        for (uint8_t type = 0; type <= 10; ++type) {
            SCOPED_TRACE(testing::Message() << "input " << int(input) << " type " << int(type));
            const char* want = type == 0 ? defaults[input] : offered[input][type - 1];
            fw().clear_requests();
            EXPECT_EQ(SetVideoInputName(input, type, type % 2 ? "not sent" : nullptr), *want ? RC_OK : RC_INVALID_ARGUMENT);
            EXPECT_EQ(fw().requests().size(), *want ? 1u : 0u);
            if (*want == '\0') continue;
            char name[15];
            uint8_t status = 0xEE;
            ASSERT_EQ(GetVideoInputName(input, name, &status), RC_OK);
            EXPECT_STREQ(name, want);
            EXPECT_EQ(fw().requests().at(0).bytes, packet_with({{0, 3}, {4, 1}, {5, 2}, {7, input}, {8, input}, {9, type}}));
            EXPECT_EQ(fw().requests().at(1).bytes, packet_with({{0, 8}, {4, 2}, {5, 2}, {7, input}}));
        }
    }
}

// The reply's type chooses the text; the host's edits of the table count at once.
TEST_F(Inputs, GetNameCopiesWhatTheReplyNames) {
    std::memset(byPredefinedInputNames[3][0], 'w', 15);  // no NUL in its 15 bytes
    std::strcpy(byPredefinedInputNames[3][3], "Edit suite");
    EXPECT_EQ(SetVideoInputName(3, 4, nullptr), RC_OK);
    const struct { uint8_t type; std::string stored; uint8_t status; std::string want; } cases[] = {
        {11, std::string(15, 'x'), 1, std::string(14, 'x') + '\0'},     // cut at 14
        {11, "Grade", 0, std::string("Grade") + std::string(10, '\0')},  // NUL-padded to 15
        {9, "ignored", 1, std::string("Playback") + '\0'},  // the custom-name status is the display's
        {1, "", 0, std::string(14, 'w') + '\0'},
        {4, "", 0, std::string("Edit suite") + '\0'},
    };
    for (const auto& c : cases) {
        fw().state.inputs.names[3] = {c.type, {}, c.status};
        std::memcpy(fw().state.inputs.names[3].custom.data(), c.stored.data(), c.stored.size());
        char buffer[20];
        std::memset(buffer, 'Z', sizeof buffer);
        uint8_t status = 0xEE;
        const std::string out = says(RC_OK, [&] { return GetVideoInputName(3, buffer, &status); });
        EXPECT_EQ(std::string(buffer, c.want.size()), c.want);
        EXPECT_EQ(std::string(buffer + 15, 5), "ZZZZZ");
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(out, "video input number =3 \nvideo input name type =" + std::to_string(c.type) + " \ncustomname = " +
                           c.want.c_str() + "\ncustomname status= " + std::to_string(c.status) + "\n");
    }
}

TEST_F(Inputs, GetNameRefusalsLeaveTheOutputsAlone) {
    char name[15] = "unchanged";
    uint8_t status = 0x5A;
    auto get = [&](uint8_t input, char* n, uint8_t* s) { return [=] { return GetVideoInputName(input, n, s); }; };
    const std::string input_line = "<ERROR> GetVideoInputName:  Input Number Validation Failed.\n";
    const std::string pointer_line = "<ERROR> GetVideoInputName:  Pointer Validation Failed.\n";
    const std::string failed = "<ERROR> GetVideoInputName: RegUsbApi Failed.\n";
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, get(5, name, &status)), input_line);
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, get(5, nullptr, nullptr)), input_line);
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, get(0, nullptr, &status)), pointer_line);
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, get(0, name, nullptr)), pointer_line);
    EXPECT_TRUE(fw().requests().empty());

    fw().state.inputs.names[2].type = 12;  // beyond the custom name: no text to show
    EXPECT_EQ(says(RC_DEVICE_STATUS, get(2, name, &status)), failed);
    fw().refuse(8, 2, 2, 1, 1);
    EXPECT_EQ(says(RC_DEVICE_STATUS, get(0, name, &status)), failed);
    EXPECT_STREQ(name, "unchanged");
    EXPECT_EQ(status, 0x5A);
}

TEST_F(Inputs, SetNameCustomTextAndRefusals) {
    const struct { uint8_t input; const char *text, *sent; } sent_cases[] = {
        {3, "Edit bay", "Edit bay"}, {0, "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMN"}, {1, "", ""}};
    for (const auto& c : sent_cases) {
        fw().clear_requests();
        EXPECT_EQ(says(RC_OK, [&] { return SetVideoInputName(c.input, 11, c.text); }), "");
        auto want = packet_with({{0, 3}, {4, 1}, {5, 2}, {7, c.input}, {8, c.input}, {9, 11}, {25, 1}});
        std::memcpy(want.data() + 10, c.sent, std::strlen(c.sent));
        EXPECT_EQ(fw().requests().at(0).bytes, want);
    }
    fw().clear_requests();
    const std::string line = "<ERROR> SetVideoInputName: Validation Failed.\n";
    const struct { uint8_t input, type; const char* text; std::string out; } refused[] = {
        {5, 0, nullptr, line}, {5, 12, "x", line}, {0, 12, "x", line}, {0, 255, "x", line},
        {4, 4, "x", line}, {1, 11, nullptr, ""}};  // type 4 is not offered on input 4; no custom text is silent
    for (const auto& c : refused)
        EXPECT_EQ(says(RC_INVALID_ARGUMENT, [&] { return SetVideoInputName(c.input, c.type, c.text); }), c.out)
            << int(c.input) << "/" << int(c.type);
    EXPECT_TRUE(fw().requests().empty());
}

TEST_F(Inputs, BindingConfigurationNeedsBindingStatusThreeFirst) {
    std::array<uint8_t, 2> usb{0xEE, 0xEE};
    auto get = [&] { return GetUSBBindingConfiguration(&usb[0], &usb[1]); };
    auto set = [](uint8_t usb1, uint8_t usb2) { return [=] { return SetUSBBindingConfiguration(usb1, usb2); }; };
    for (uint8_t binding = 0; binding < 3; ++binding) {
        fw().set_u8("usb-port-binding", binding);
        fw().clear_requests();
        const std::string status = "Port Binding Status is " + std::to_string(binding) + " \n<ERROR> ";
        EXPECT_EQ(says(RC_NOT_ALLOWED, get), status + "GetUSBBindingConfiguration: USB Binding Not Enabled.\n");
        for (const uint8_t v : {uint8_t{0}, uint8_t{9}})  // valid or not, the arguments come second
            EXPECT_EQ(says(RC_INVALID_ARGUMENT, set(v, v)), status + "SetUSBBindingConfiguration: USB Binding Not Enabled.\n");
        EXPECT_EQ(sent(fw()), std::vector<std::string>(3, "get 1,3"));
    }
    // An unreadable status: the status read's code for the getter, RC_INVALID_ARGUMENT for the setter.
    fw().set_u8("usb-port-binding", 3);
    fw().refuse(8, 1, 3, 1, 2);
    const std::string failed = "<ERROR> GetUSBPortBindingStatus: RegUsbApi Failed.\n<ERROR> ";
    EXPECT_EQ(says(RC_DEVICE_STATUS, get), failed + "GetUSBBindingConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(says(RC_INVALID_ARGUMENT, set(1, 1)), failed + "SetUSBBindingConfiguration: RegUsbApi Failed.\n");
    EXPECT_EQ(usb, (std::array<uint8_t, 2>{0xEE, 0xEE}));

    // Enabled: USB 1 is checked before USB 2, and only the status read goes out.
    fw().clear_requests();
    const struct { uint8_t usb1, usb2; const char* which; } bad[] = {{4, 9, "1"}, {255, 0, "1"}, {0, 5, "2"}, {3, 200, "2"}};
    for (const auto& c : bad)
        EXPECT_EQ(says(RC_INVALID_ARGUMENT, set(c.usb1, c.usb2)),
                  std::string("Port Binding Status is 3 \n<ERROR> SetUSBBindingConfiguration: USB ") + c.which + " Binding Validation Failed.\n");
    EXPECT_EQ(sent(fw()), std::vector<std::string>(std::size(bad), "get 1,3"));
    ASSERT_EQ(SetUSBBindingConfiguration(0, 4), RC_OK);
    EXPECT_EQ(says(RC_OK, get), "Port Binding Status is 3 \nUSB1 Binding Status is 0 \nUSB2 Binding Status is 4 \n");
    EXPECT_EQ(usb, (std::array<uint8_t, 2>{0, 4}));
    EXPECT_EQ(fw().requests().at(5).bytes, packet_with({{0, 3}, {4, 1}, {5, 4}, {7, 0}, {8, 4}}));
    EXPECT_EQ(fw().requests().at(7).bytes, packet_with({{0, 8}, {4, 1}, {5, 4}}));
}

}  // namespace
}  // namespace qvtest
