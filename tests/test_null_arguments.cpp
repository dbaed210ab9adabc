// A NULL pointer for any pointer argument of any exported function is refused with
// RC_INVALID_ARGUMENT before anything reaches the display: one table entry per function and
// pointer, every getter of the command table, and a check against the public header that no
// function with a pointer argument is missing here.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "protocol/command_table.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

// One call with its pointer argument number `which` (0-based among its pointers) NULL and the
// others pointing at storage of the documented size.
struct NullCase {
    const char* function;
    int pointers;
    std::function<int(int which)> call;
};

template <class T>
T* or_null(T* p, int which, int index) { return which == index ? nullptr : p; }

std::vector<NullCase> cases() {
    static char text[64];
    static uint8_t bytes[64];
    static int16_t words[8];
    static float floats[2];
    return {
        {"Scan", 1, [](int) { return Scan(nullptr); }},
        {"GetDisplaySerialNumber", 1, [](int) { return GetDisplaySerialNumber(nullptr); }},
        {"GetMonitorType", 1, [](int) { return GetMonitorType(nullptr); }},
        {"GetSdkVersion", 1, [](int) { return GetSdkVersion(nullptr); }},
        {"GetDisplayMode", 1, [](int) { return GetDisplayMode(nullptr); }},
        {"GetImageAdjustmentMode", 2, [](int w) { return GetImageAdjustmentMode(or_null(words, w, 0), or_null(words + 1, w, 1)); }},
        {"GetPIPResolution", 2, [](int w) { return GetPIPResolution(or_null(words, w, 0), or_null(words + 1, w, 1)); }},
        {"GetDownstreamRGBAdjust", 2, [](int w) { return GetDownstreamRGBAdjust(or_null(words, w, 0), or_null(words + 3, w, 1)); }},
        {"SetDownstreamRGBAdjust", 2, [](int w) { return SetDownstreamRGBAdjust(or_null(words, w, 0), or_null(words + 3, w, 1)); }},
        {"GetCurrentColorSpaceName", 1, [](int) { return GetCurrentColorSpaceName(nullptr); }},
        {"GetGamma", 1, [](int) { return GetGamma(nullptr); }},
        {"GetRedPrimaryXY", 2, [](int w) { return GetRedPrimaryXY(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetRedPrimaryUV", 2, [](int w) { return GetRedPrimaryUV(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetGreenPrimaryXY", 2, [](int w) { return GetGreenPrimaryXY(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetGreenPrimaryUV", 2, [](int w) { return GetGreenPrimaryUV(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetBluePrimaryXY", 2, [](int w) { return GetBluePrimaryXY(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetBluePrimaryUV", 2, [](int w) { return GetBluePrimaryUV(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetWhitePrimaryXY", 2, [](int w) { return GetWhitePrimaryXY(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetWhitePrimaryUV", 2, [](int w) { return GetWhitePrimaryUV(or_null(floats, w, 0), or_null(floats + 1, w, 1)); }},
        {"GetPresetNameList", 1, [](int) { return GetPresetNameList(nullptr); }},
        {"GetVideoInputName", 2, [](int w) { return GetVideoInputName(1, or_null(text, w, 0), or_null(bytes, w, 1)); }},
        // The custom name is read only for a custom name (type 11).
        {"SetVideoInputName", 1, [](int) { return SetVideoInputName(1, 11, nullptr); }},
        {"GetUSBBindingConfiguration", 2, [](int w) { return GetUSBBindingConfiguration(or_null(bytes, w, 0), or_null(bytes + 1, w, 1)); }},
        {"GetImageScaling", 2, [](int w) { return GetImageScaling(or_null(bytes, w, 0), or_null(bytes + 1, w, 1)); }},
        {"GetMarkerDetails", 1, [](int) { return GetMarkerDetails(nullptr); }},
        {"SetMarkerDetails", 1, [](int) { return SetMarkerDetails(nullptr); }},
        {"GetPIPMarkerDetails", 1, [](int) { return GetPIPMarkerDetails(nullptr); }},
        {"SetPIPMarkerDetails", 1, [](int) { return SetPIPMarkerDetails(nullptr); }},
        {"GetPIPPosition", 3, [](int w) { return GetPIPPosition(or_null(bytes, w, 0), or_null(words, w, 1), or_null(words + 1, w, 2)); }},
        {"GetPIPSize", 3, [](int w) { return GetPIPSize(or_null(bytes, w, 0), or_null(words, w, 1), or_null(words + 1, w, 2)); }},
        {"GetCalibrationSchedule", 1, [](int) { return GetCalibrationSchedule(nullptr); }},
        {"SetCalibrationSchedule", 1, [](int) { return SetCalibrationSchedule(nullptr); }},
        {"GetDisplayWarmupSettings", 1, [](int) { return GetDisplayWarmupSettings(nullptr); }},
        {"SetDisplayWarmupSettings", 1, [](int) { return SetDisplayWarmupSettings(nullptr); }},
        {"GetDateAndTime", 1, [](int) { return GetDateAndTime(nullptr); }},
        {"SetDateAndTime", 1, [](int) { return SetDateAndTime(nullptr); }},
        {"GetOSDPosition", 2, [](int w) { return GetOSDPosition(or_null(words, w, 0), or_null(words + 1, w, 1)); }},
        {"GetIPConfiguration", 2, [](int w) { return GetIPConfiguration(or_null(text, w, 0), or_null(text + 49, w, 1)); }},
        {"SetIPConfiguration", 1, [](int) { return SetIPConfiguration(nullptr); }},
        {"GetFirmwareRevision", 1, [](int) { return GetFirmwareRevision(nullptr); }},
        {"GetCustomerIDAsset", 1, [](int) { return GetCustomerIDAsset(nullptr); }},
        {"GetDeploymentDate", 1, [](int) { return GetDeploymentDate(nullptr); }},
        {"GetDeploymentLocation", 1, [](int) { return GetDeploymentLocation(nullptr); }},
        {"GetDisplayName", 1, [](int) { return GetDisplayName(nullptr); }},
        {"GetFunctionButtonSettings", 1, [](int) { return GetFunctionButtonSettings(1, nullptr); }},
        {"SendFileToDisplay", 1, [](int) { return SendFileToDisplay(1, nullptr); }},
        {"GetFileFromDisplay", 1, [](int) { return GetFileFromDisplay(3, nullptr); }},
    };
}

// Every exported function of the public header with a pointer (or array) argument, and how
// many it has.
std::map<std::string, int> header_functions_with_pointers() {
    const auto header = std::filesystem::path(__FILE__).parent_path().parent_path() / "include" / "quorvex.h";
    std::ifstream in(header);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::map<std::string, int> out;
    const std::regex declaration(R"(QV_API\s+[A-Za-z0-9_]+\s+([A-Za-z0-9_]+)\s*\(([^)]*)\))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration); it != std::sregex_iterator(); ++it) {
        const std::string params = (*it)[2];
        int pointers = 0;
        std::size_t start = 0;
        for (std::size_t comma = 0; start <= params.size(); start = comma + 1) {
            comma = params.find(',', start);
            if (comma == std::string::npos) comma = params.size();
            const std::string p = params.substr(start, comma - start);
            if (p.find('*') != std::string::npos || p.find('[') != std::string::npos) ++pointers;
        }
        if (pointers > 0) out[(*it)[1]] = pointers;
    }
    return out;
}

// The transport's own entry points refuse NULL their own way (their tests are beside them).
const std::set<std::string> kTransport = {"WritePort", "ReadPort", "read_data_logic", "RegUsbApi", "SplitIPV4"};

class NullArguments : public SimTest {};

TEST_F(NullArguments, EveryPointerOfEveryFunctionIsRefusedBeforeAnyExchange) {
    connect_first();
    LogMessage = 0;
    const int inits = bus->init_calls();
    std::map<std::string, int> covered;
    for (const NullCase& c : cases()) {
        covered[c.function] = c.pointers;
        for (int which = 0; which < c.pointers; ++which) {
            EXPECT_EQ(c.call(which), RC_INVALID_ARGUMENT) << c.function << " with pointer " << which << " NULL";
            EXPECT_TRUE(fw().requests().empty()) << c.function << " sent something";
            fw().clear_requests();
        }
    }
    for (const qv::SettingRow& row : qv::kSettings) {
        if (row.get_u8 != nullptr) {
            EXPECT_EQ(row.get_u8(nullptr), RC_INVALID_ARGUMENT) << row.getter;
        }
        if (row.get_s16 != nullptr) {
            EXPECT_EQ(row.get_s16(nullptr), RC_INVALID_ARGUMENT) << row.getter;
        }
        if (row.get_u8 != nullptr || row.get_s16 != nullptr) covered.emplace(row.getter, 1);
        EXPECT_TRUE(fw().requests().empty()) << row.getter << " sent something";
        fw().clear_requests();
    }
    EXPECT_EQ(bus->init_calls(), inits) << "Scan(NULL) started the USB library";
    EXPECT_EQ(ConnectFlag, 1) << "the connection survives every refusal";

    for (const auto& [function, pointers] : header_functions_with_pointers()) {
        if (kTransport.count(function) != 0) continue;
        const auto it = covered.find(function);
        EXPECT_NE(it, covered.end()) << function << " has a pointer argument and no NULL case here";
        EXPECT_EQ(it == covered.end() ? pointers : it->second, pointers) << function;
    }
}

// SplitIPV4 returns nothing: with either pointer NULL it leaves the other as it was.
TEST_F(NullArguments, SplitIPV4WithoutTextOrBytesDoesNothing) {
    char text[] = "10.1.2.3";
    uint8_t bytes[4] = {9, 9, 9, 9};
    SplitIPV4(nullptr, bytes);
    SplitIPV4(text, nullptr);
    EXPECT_STREQ(text, "10.1.2.3");
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), std::vector<uint8_t>(4, 9));
}

}  // namespace
}  // namespace qvtest
