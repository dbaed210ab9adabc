// Colour settings against the simulated display: range checks, the RGB adjustment, the name
// getters, the primaries record and the preset-name packet.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

class Colour : public SimTest {
protected:
    template <class F>
    std::string lines_of(F&& f) {
        return without_info_lines(output_of(std::forward<F>(f)));
    }
};

TEST_F(Colour, SettersCheckTheirRangeBeforeSending) {
    const struct {
        const char* setter;
        int (*set)(int);
        int value;
        bool ok;
    } cases[] = {
        {"SetDisplayLuminance", [](int v) { return SetDisplayLuminance(static_cast<int16_t>(v)); }, 47, false},
        {"SetDisplayLuminance", [](int v) { return SetDisplayLuminance(static_cast<int16_t>(v)); }, 250, true},
        {"SetActiveColorSpace", [](int v) { return SetActiveColorSpace(static_cast<uint8_t>(v)); }, 9, false},
        {"SetActiveColorSpace", [](int v) { return SetActiveColorSpace(static_cast<uint8_t>(v)); }, 1, true},
        {"SetBlueLightModeStatus", [](int v) { return SetBlueLightModeStatus(static_cast<uint8_t>(v)); }, 3, false},
        {"SetBlueLightModeStatus", [](int v) { return SetBlueLightModeStatus(static_cast<uint8_t>(v)); }, 255, false},
        {"SetBlueLightModeStatus", [](int v) { return SetBlueLightModeStatus(static_cast<uint8_t>(v)); }, 2, true},
    };
    connect_first();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.setter) + " " + std::to_string(c.value));
        fw(0).clear_requests();
        int rc = 0;
        const std::string out = lines_of([&] { rc = c.set(c.value); });
        EXPECT_EQ(rc, c.ok ? RC_OK : RC_INVALID_ARGUMENT);
        EXPECT_EQ(fw(0).requests().size(), c.ok ? 1u : 0u);
        EXPECT_EQ(out, c.ok ? "" : "<ERROR> " + std::string(c.setter) + ": Validation Failed.\n");
    }
    uint8_t mode = 0;
    EXPECT_EQ(lines_of([&] { GetBlueLightModeStatus(&mode); }), "BlueLight mode status = 2 \n");
}

TEST_F(Colour, RgbAdjustStopsAtTheFirstValueOutOfRange) {
    const struct {
        std::array<int16_t, 3> gains, offsets;
        const char* which;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 1024}, "Offset"},
        {{1024, 0, 0}, {-1, 0, 0}, "Gain"},     // gain 0 is checked before offset 0
        {{0, -1, 0}, {1024, 0, 0}, "Offset"},   // offset 0 before gain 1
        {{0, 1023, -5}, {0, 0, 0}, "Gain"},
    };
    connect_first();
    const auto before = fw(0).state.colour.gains;
    for (const auto& c : cases) {
        int rc = 0;
        const std::string out = lines_of([&] { rc = SetDownstreamRGBAdjust(c.gains.data(), c.offsets.data()); });
        EXPECT_EQ(rc, RC_INVALID_ARGUMENT);
        EXPECT_EQ(out, "<ERROR> SetDownstreamRGBAdjust: " + std::string(c.which) + " Validation Failed.\n");
    }
    EXPECT_TRUE(fw(0).requests().empty());
    EXPECT_EQ(fw(0).state.colour.gains, before);
}

TEST_F(Colour, RgbAdjustSendsAllSixValuesInOnePacketAndReadsThemBack) {
    connect_first();
    const int16_t gains[3] = {0, 513, 1023};
    const int16_t offsets[3] = {1, 258, 1022};
    ASSERT_EQ(SetDownstreamRGBAdjust(gains, offsets), RC_OK);
    ASSERT_EQ(fw(0).requests().size(), 1u);
    const auto& sent = fw(0).requests()[0].bytes;
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 19),
              (std::vector<uint8_t>{3, 0, 0, 0, 0, 2, 0, 0, 0, 1, 2, 0xFF, 3, 1, 0, 2, 1, 0xFE, 3}));
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 19, sent.end()), std::vector<uint8_t>(13, 0));

    fw(0).state.colour.gains[0] = -1;  // values are read back signed
    int16_t g[3] = {};
    int16_t o[3] = {};
    const std::string out = lines_of([&] { EXPECT_EQ(GetDownstreamRGBAdjust(g, o), RC_OK); });
    EXPECT_EQ(std::vector<int16_t>(g, g + 3), (std::vector<int16_t>{-1, 513, 1023}));
    EXPECT_EQ(std::vector<int16_t>(o, o + 3), (std::vector<int16_t>{1, 258, 1022}));
    EXPECT_EQ(out, "Gain 0 is -1 Offset 0 is 1\nGain 1 is 513 Offset 1 is 258\nGain 2 is 1023 Offset 2 is 1022\n");

    fw(0).refuse(8, 0, 2, 1);
    int16_t kept[3] = {7, 7, 7};
    EXPECT_EQ(lines_of([&] { EXPECT_EQ(GetDownstreamRGBAdjust(kept, kept), RC_DEVICE_STATUS); }),
              "<ERROR> GetDownstreamRGBAdjust: RegUsbApi Failed.\n");
    EXPECT_EQ(kept[0], 7);
}

TEST_F(Colour, NameGettersKeepAtMostFourteenCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"Rec.709", "Rec.709"},
        {"ABCDEFGHIJKLMN", "ABCDEFGHIJKLMN"},
        {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMN"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXY", "ABCDEFGHIJKLMN"},  // the whole 25-byte payload
    };
    connect_first();
    const struct {
        int (*get)(char*);
        std::string* text;
        const char* line;
        int item;
    } getters[] = {
        {GetCurrentColorSpaceName, &fw(0).state.colour.colour_space_name, "ColorSpace Name received is %s \n", 3},
        {GetGamma, &fw(0).state.colour.gamma_name, "Gamma Name received is %s \n", 2},
    };
    for (const auto& g : getters) {
        for (const auto& [reply, expected] : cases) {
            SCOPED_TRACE(reply);
            *g.text = reply;
            fw(0).clear_requests();
            char buf[16];
            std::memset(buf, 'Z', sizeof buf);
            int rc = 0;
            const std::string out = lines_of([&] { rc = g.get(buf); });
            ASSERT_EQ(rc, RC_OK);
            EXPECT_TRUE(fw(0).requests().at(0).is_get(13, g.item));
            EXPECT_EQ(std::string(buf, 15), expected + std::string(15 - expected.size(), '\0'));
            EXPECT_EQ(buf[15], 'Z');
            char line[64];
            std::snprintf(line, sizeof line, g.line, expected.c_str());
            EXPECT_EQ(out, line);
        }
    }
    fw(0).refuse(8, 13, 2, 1);
    char name[15] = "untouched";
    EXPECT_EQ(GetGamma(name), RC_DEVICE_STATUS);
    EXPECT_STREQ(name, "untouched");
}

TEST_F(Colour, EachPrimariesGetterReadsItsOwnFieldsOfTheRecord) {
    const struct {
        int (*get)(float*, float*);
        int item;           // 0: x/y, 1: u/v
        std::size_t field;  // the first of the colour's two fields
        const char *first_line, *second_line;
    } getters[] = {
        {GetRedPrimaryXY, 0, 0, "Red Primary X %f \n", "Red Primary Y %f \n"},
        {GetRedPrimaryUV, 1, 0, nullptr, nullptr},
        {GetGreenPrimaryXY, 0, 2, nullptr, nullptr},
        {GetGreenPrimaryUV, 1, 2, "Green Primary U %f \n", "Green Primary V %f \n"},
        {GetBluePrimaryXY, 0, 4, "Blue Primary X %f \n", "Blue Primary Y %f \n"},
        {GetBluePrimaryUV, 1, 4, "Blue Primary U %f \n", "Blue Primary V %f \n"},
        {GetWhitePrimaryXY, 0, 6, "White Primary X %f \n", "White Primary Y %f \n"},
        {GetWhitePrimaryUV, 1, 6, "White Primary U %f \n", "White Primary V %f \n"},
    };
    const auto line = [](const char* format, float v) {
        char text[64] = "";
        if (format != nullptr) std::snprintf(text, sizeof text, format, static_cast<double>(v));
        return std::string(text);
    };
    connect_first();
    fw(0).state.colour.primaries_xy = {640, 330, 300, 600, 150, 60, 3127, 3290};
    fw(0).state.colour.primaries_uv = {451, 523, 125, 563, 175, 158, 1978, 4683};
    for (const auto& p : getters) {
        SCOPED_TRACE(p.field + 8 * static_cast<std::size_t>(p.item));
        fw(0).clear_requests();
        const auto& record = p.item == 0 ? fw(0).state.colour.primaries_xy : fw(0).state.colour.primaries_uv;
        float a = -1.0f;
        float b = -1.0f;
        const std::string out = lines_of([&] { EXPECT_EQ(p.get(&a, &b), RC_OK); });
        EXPECT_EQ(a, static_cast<float>(record[p.field]) / 1000.0f);
        EXPECT_EQ(b, static_cast<float>(record[p.field + 1]) / 1000.0f);
        EXPECT_EQ(out, line(p.first_line, a) + line(p.second_line, b));
        ASSERT_EQ(fw(0).requests().size(), 1u);
        EXPECT_TRUE(fw(0).requests()[0].is_get(14, p.item));
    }
}

TEST_F(Colour, PrimariesFieldsAreUnsignedThousandthsReadAfresh) {
    connect_first();
    fw(0).state.colour.primaries_xy = {0, 1000, 65535, 640, 0, 0, 0, 0};
    float x = 0;
    float y = 0;
    ASSERT_EQ(GetRedPrimaryXY(&x, &y), RC_OK);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 1.0f);
    ASSERT_EQ(GetGreenPrimaryXY(&x, &y), RC_OK);
    EXPECT_EQ(x, 65.535f);
    EXPECT_EQ(y, 0.64f);
    ASSERT_EQ(fw(0).requests().size(), 2u);
    EXPECT_EQ(fw(0).requests()[0].bytes, fw(0).requests()[1].bytes);

    fw(0).refuse(8, 14, 1, 1);
    EXPECT_EQ(GetWhitePrimaryUV(&x, &y), RC_DEVICE_STATUS);
    EXPECT_EQ(x, 65.535f);
}

TEST_F(Colour, PresetNameListSendsOneBarePacketAndFillsAllEightEntries) {
    connect_first();
    fw(0).state.colour.preset_names = {"ABCDEFGHIJKLMNO", "", "Rec.709", "ABCDEFGHIJKLMN", "P3", "x", "DCI-P3", "Last"};
    char buf[8 * 15 + 1];
    std::memset(buf, 'Z', sizeof buf);
    auto* names = reinterpret_cast<char(*)[15]>(buf);
    int rc = 0;
    const std::string out = lines_of([&] { rc = GetPresetNameList(names); });
    ASSERT_EQ(rc, RC_OK);
    ASSERT_EQ(fw(0).requests().size(), 1u);
    std::vector<uint8_t> bare(122, 0);
    bare[0] = 22;
    EXPECT_EQ(fw(0).requests()[0].bytes, bare);

    const std::string expected[8] = {"ABCDEFGHIJKLMN", "", "Rec.709", "ABCDEFGHIJKLMN", "P3", "x", "DCI-P3", "Last"};
    std::string lines;
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(std::string(names[i], 15), expected[i] + std::string(15 - expected[i].size(), '\0'));
        // The line shows the display's field, all 15 bytes of it when it holds no NUL.
        lines += "ColorSpace Name = " + fw(0).state.colour.preset_names[i] + " \n";
    }
    EXPECT_EQ(buf[120], 'Z');
    EXPECT_EQ(out, lines);
}

TEST_F(Colour, PresetNameListFailuresLeaveTheNamesAlone) {
    connect_first();
    char names[8][15];
    std::memset(names, 'Z', sizeof names);
    fw(0).refuse(22, -1, -1, 3, 1);  // status in byte 1
    EXPECT_EQ(lines_of([&] { EXPECT_EQ(GetPresetNameList(names), RC_DEVICE_STATUS); }),
              "<ERROR> GetPresetNameList: RegUsbApi Failed.\n");
    output_of([] { Disconnect(); });
    EXPECT_EQ(lines_of([&] { EXPECT_EQ(GetPresetNameList(names), RC_EXCHANGE_FAILED); }),
              "<ERROR> GetPresetNameList: RegUsbApi Failed.\n");
    EXPECT_EQ(names[0][0], 'Z');
    EXPECT_EQ(names[7][14], 'Z');
}

}  // namespace
}  // namespace qvtest
