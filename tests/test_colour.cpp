// Colour settings: the RGB adjustment, the name getters, the primaries record and the
// preset-name packet.
#include <array>
#include <cstring>

#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Colour : public SettingTest {};

TEST_F(Colour, RgbAdjustChecksGainThenOffsetChannelByChannel) {
    const struct { std::array<int16_t, 3> gains, offsets; const char* which; } cases[] = {
        {{0, 0, 0}, {0, 0, 1024}, "Offset"}, {{1024, 0, 0}, {-1, 0, 0}, "Gain"},  // gain 0 before offset 0
        {{0, -1, 0}, {1024, 0, 0}, "Offset"}, {{0, 1023, -5}, {0, 0, 0}, "Gain"},  // offset 0 before gain 1
    };
    connect_first();
    for (const auto& c : cases) {
        EXPECT_EQ(captured([&] { EXPECT_EQ(SetDownstreamRGBAdjust(c.gains.data(), c.offsets.data()), RC_INVALID_ARGUMENT); }),
                  "<ERROR> SetDownstreamRGBAdjust: " + std::string(c.which) + " Validation Failed.\n");
    }
    EXPECT_TRUE(fw().requests().empty());
    const int16_t gains[3] = {0, 513, 1023}, offsets[3] = {1, 258, 1022};
    ASSERT_EQ(SetDownstreamRGBAdjust(gains, offsets), RC_OK);
    EXPECT_EQ(fw().requests().at(0).bytes, packet_with({{0, 3}, {5, 2}, {9, 1}, {10, 2}, {11, 0xFF}, {12, 3}, {13, 1},
                                                         {15, 2}, {16, 1}, {17, 0xFE}, {18, 3}}));
    fw().state.colour.gains[0] = -1;  // read back signed
    int16_t g[3] = {}, o[3] = {};
    EXPECT_EQ(captured([&] { EXPECT_EQ(GetDownstreamRGBAdjust(g, o), RC_OK); }),
              "Gain 0 is -1 Offset 0 is 1\nGain 1 is 513 Offset 1 is 258\nGain 2 is 1023 Offset 2 is 1022\n");
    EXPECT_EQ(std::vector<int16_t>(g, g + 3), (std::vector<int16_t>{-1, 513, 1023}));
    EXPECT_EQ(std::vector<int16_t>(o, o + 3), (std::vector<int16_t>{1, 258, 1022}));
}

TEST_F(Colour, NamesAreCutAtFourteenCharacters) {
    connect_first();
    const struct { int (*get)(char*); std::string* text; const char* prefix; int item; } getters[] = {
        {GetCurrentColorSpaceName, &fw().state.colour.colour_space_name, "ColorSpace Name received is ", 3},
        {GetGamma, &fw().state.colour.gamma_name, "Gamma Name received is ", 2},
    };
    for (const auto& g : getters) {
        for (const std::string reply : {"Rec.7", "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOPQRSTUVWXY"}) {
            SCOPED_TRACE(reply);
            *g.text = reply;
            fw().clear_requests();
            char buf[16];
            std::memset(buf, 'Z', sizeof buf);
            const std::string name = reply.substr(0, 14);
            EXPECT_EQ(captured([&] { EXPECT_EQ(g.get(buf), RC_OK); }), g.prefix + name + " \n");
            EXPECT_EQ(fw().requests().at(0).bytes, setting_packet(8, 13, g.item));
            EXPECT_EQ(std::string(buf, 16), name + std::string(15 - name.size(), '\0') + "Z");
        }
    }
}

// Unsigned thousandths (0, 1000 and 65535 at red x, red y, green x); each call reads afresh.
TEST_F(Colour, EachPrimariesGetterReadsItsOwnFields) {
    const struct { int (*get)(float*, float*); int item; float a, b; const char *line_a, *line_b; } getters[] = {
        {GetRedPrimaryXY, 0, 0.0f, 1.0f, "Red Primary X %f \n", "Red Primary Y %f \n"},
        {GetRedPrimaryUV, 1, 0.451f, 0.523f, "", ""},
        {GetGreenPrimaryXY, 0, 65.535f, 0.64f, "", ""},
        {GetGreenPrimaryUV, 1, 0.125f, 0.563f, "Green Primary U %f \n", "Green Primary V %f \n"},
        {GetBluePrimaryXY, 0, 0.15f, 0.06f, "Blue Primary X %f \n", "Blue Primary Y %f \n"},
        {GetBluePrimaryUV, 1, 0.175f, 0.158f, "Blue Primary U %f \n", "Blue Primary V %f \n"},
        {GetWhitePrimaryXY, 0, 3.127f, 3.29f, "White Primary X %f \n", "White Primary Y %f \n"},
        {GetWhitePrimaryUV, 1, 1.978f, 4.683f, "White Primary U %f \n", "White Primary V %f \n"},
    };
    connect_first();
    fw().state.colour.primaries_xy = {0, 1000, 65535, 640, 150, 60, 3127, 3290};
    fw().state.colour.primaries_uv = {451, 523, 125, 563, 175, 158, 1978, 4683};
    for (const auto& p : getters) {
        SCOPED_TRACE(&p - getters);
        fw().clear_requests();
        float a = -1.0f, b = -1.0f;
        char lines[128];
        std::snprintf(lines, sizeof lines, (std::string(p.line_a) + p.line_b).c_str(), double(p.a), double(p.b));
        EXPECT_EQ(captured([&] { EXPECT_EQ(p.get(&a, &b), RC_OK); }), lines);
        EXPECT_EQ(std::pair(a, b), std::pair(p.a, p.b));
        ASSERT_EQ(fw().requests().size(), 1u);
        EXPECT_EQ(fw().requests()[0].bytes, setting_packet(8, 14, p.item));
    }
}

TEST_F(Colour, PresetNameListSendsOneBarePacketAndFillsAllEight) {
    connect_first();
    fw().state.colour.preset_names = {"ABCDEFGHIJKLMNO", "", "Rec.709", "ABCDEFGHIJKLMN", "P3", "x", "DCI-P3", "Last"};
    char buf[8 * 15 + 1];
    std::memset(buf, 'Z', sizeof buf);
    auto* names = reinterpret_cast<char(*)[15]>(buf);
    const std::string out = captured([&] { EXPECT_EQ(GetPresetNameList(names), RC_OK); });
    std::vector<uint8_t> bare(122, 0);
    bare[0] = 22;
    ASSERT_EQ(fw().requests().size(), 1u);
    EXPECT_EQ(fw().requests()[0].bytes, bare);
    std::string lines;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::string name = fw().state.colour.preset_names[i].substr(0, 14);
        EXPECT_EQ(std::string(names[i], 15), name + std::string(15 - name.size(), '\0'));
        lines += "ColorSpace Name = " + fw().state.colour.preset_names[i] + " \n";  // the whole 15-byte field
    }
    EXPECT_EQ(buf[120], 'Z');
    EXPECT_EQ(out, lines);
    std::memset(buf, 'Z', sizeof buf);
    fw().refuse(22, -1, -1, 3, 1);  // status in byte 1
    EXPECT_EQ(captured([&] { EXPECT_EQ(GetPresetNameList(names), RC_DEVICE_STATUS); }), "<ERROR> GetPresetNameList: RegUsbApi Failed.\n");
    captured([] { Disconnect(); });
    EXPECT_EQ(GetPresetNameList(names), RC_EXCHANGE_FAILED);
    EXPECT_EQ(std::string(buf, 120), std::string(120, 'Z'));
}

}  // namespace
}  // namespace qvtest
