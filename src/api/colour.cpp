// The display's colour settings. Plain settings are rows of table/colour.def (the build writes
// their functions out); the functions that depart from the frame follow, each by name.
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"

namespace {

constexpr std::size_t kRgbChannels = 3;
constexpr std::size_t kGainsAt = 7;     // int16 gains, red green blue
constexpr std::size_t kOffsetsAt = 13;  // int16 offsets, red green blue
constexpr int kRgbLow = 0;
constexpr int kRgbHigh = 1023;

// Names of the current colour space and gamma: text at byte 7, at most 14 characters.
constexpr std::size_t kNameChars = 14;

int get_name(const char* fn, int item, char* name, const char* line) {
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, 13, item); rc != RC_OK) return rc;
    qv::copy_text_field(name, packet + qv::kPayload, kNameChars);
    qv::log(line, name);
    return RC_OK;
}

// The primaries record (get group 14): eight unsigned 16-bit thousandths, red x/u at byte 7,
// red y/v, green, blue, white; item 0 holds x/y, item 1 u/v.
enum class Primary : uint8_t { red, green, blue, white };
constexpr int kPrimariesXY = 0;
constexpr int kPrimariesUV = 1;

float thousandths(const uint8_t* field) {
    return static_cast<float>(qv::get_le16(field)) / 1000.0f;
}

// One primary's two coordinates; first_line/second_line nullptr when the getter prints none.
int get_primary(const char* fn, int item, Primary colour, float* first, float* second,
                const char* first_line, const char* second_line) {
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, 14, item); rc != RC_OK) return rc;
    const uint8_t* fields = packet + qv::kPayload + 4 * static_cast<std::size_t>(colour);
    *first = thousandths(fields);
    *second = thousandths(fields + 2);
    if (first_line != nullptr) qv::log(first_line, static_cast<double>(*first));
    if (second_line != nullptr) qv::log(second_line, static_cast<double>(*second));
    return RC_OK;
}

// The colour-space preset names (opcode 22): status in byte 1, eight 15-byte name fields from
// byte 2 on.
constexpr std::size_t kPresetNamePacketSize = 122;
constexpr uint8_t kOpPresetNames = 22;
constexpr std::size_t kPresetNameStatus = 1;
constexpr std::size_t kPresetNamesAt = 2;
constexpr std::size_t kPresetCount = 8;
constexpr std::size_t kPresetNameField = 15;

}  // namespace

extern "C" {

QV_API int GetDownstreamRGBAdjust(int16_t gains[3], int16_t offsets[3]) noexcept {
    if (gains == nullptr || offsets == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetDownstreamRGBAdjust";
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, 0, 2); rc != RC_OK) return rc;
    for (std::size_t i = 0; i < kRgbChannels; ++i) {
        gains[i] = static_cast<int16_t>(qv::get_le16(packet + kGainsAt + 2 * i));
        offsets[i] = static_cast<int16_t>(qv::get_le16(packet + kOffsetsAt + 2 * i));
        qv::log("Gain %d is %d Offset %d is %d\n", static_cast<int>(i), gains[i], static_cast<int>(i),
                offsets[i]);
    }
    return RC_OK;
}

QV_API int SetDownstreamRGBAdjust(const int16_t gains[3], const int16_t offsets[3]) noexcept {
    if (gains == nullptr || offsets == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "SetDownstreamRGBAdjust";
    // Channel by channel, the gain before the offset; the first value out of range ends it.
    for (std::size_t i = 0; i < kRgbChannels; ++i) {
        if (s16ValidateSWord16Var(gains[i], kRgbLow, kRgbHigh) != 0) {
            qv::log("<ERROR> %s: Gain Validation Failed.\n", fn);
            return RC_INVALID_ARGUMENT;
        }
        if (s16ValidateSWord16Var(offsets[i], kRgbLow, kRgbHigh) != 0) {
            qv::log("<ERROR> %s: Offset Validation Failed.\n", fn);
            return RC_INVALID_ARGUMENT;
        }
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, 0, 2);
    for (std::size_t i = 0; i < kRgbChannels; ++i) {
        qv::put_le16(packet + kGainsAt + 2 * i, static_cast<uint16_t>(gains[i]));
        qv::put_le16(packet + kOffsetsAt + 2 * i, static_cast<uint16_t>(offsets[i]));
    }
    return qv::exchange(fn, packet);
}

QV_API int GetCurrentColorSpaceName(char* name) noexcept {
    if (name == nullptr) return RC_INVALID_ARGUMENT;
    return get_name("GetCurrentColorSpaceName", 3, name, "ColorSpace Name received is %s \n");
}

QV_API int GetGamma(char* name) noexcept {
    if (name == nullptr) return RC_INVALID_ARGUMENT;
    return get_name("GetGamma", 2, name, "Gamma Name received is %s \n");
}

QV_API int GetRedPrimaryXY(float* x, float* y) noexcept {
    if (x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetRedPrimaryXY", kPrimariesXY, Primary::red, x, y, "Red Primary X %f \n",
                       "Red Primary Y %f \n");
}

QV_API int GetRedPrimaryUV(float* u, float* v) noexcept {
    if (u == nullptr || v == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetRedPrimaryUV", kPrimariesUV, Primary::red, u, v, nullptr, nullptr);
}

QV_API int GetGreenPrimaryXY(float* x, float* y) noexcept {
    if (x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetGreenPrimaryXY", kPrimariesXY, Primary::green, x, y, nullptr, nullptr);
}

QV_API int GetGreenPrimaryUV(float* u, float* v) noexcept {
    if (u == nullptr || v == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetGreenPrimaryUV", kPrimariesUV, Primary::green, u, v, "Green Primary U %f \n",
                       "Green Primary V %f \n");
}

QV_API int GetBluePrimaryXY(float* x, float* y) noexcept {
    if (x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetBluePrimaryXY", kPrimariesXY, Primary::blue, x, y, "Blue Primary X %f \n",
                       "Blue Primary Y %f \n");
}

QV_API int GetBluePrimaryUV(float* u, float* v) noexcept {
    if (u == nullptr || v == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetBluePrimaryUV", kPrimariesUV, Primary::blue, u, v, "Blue Primary U %f \n",
                       "Blue Primary V %f \n");
}

QV_API int GetWhitePrimaryXY(float* x, float* y) noexcept {
    if (x == nullptr || y == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetWhitePrimaryXY", kPrimariesXY, Primary::white, x, y, "White Primary X %f \n",
                       "White Primary Y %f \n");
}

QV_API int GetWhitePrimaryUV(float* u, float* v) noexcept {
    if (u == nullptr || v == nullptr) return RC_INVALID_ARGUMENT;
    return get_primary("GetWhitePrimaryUV", kPrimariesUV, Primary::white, u, v, "White Primary U %f \n",
                       "White Primary V %f \n");
}

QV_API int GetPresetNameList(char names[8][15]) noexcept {
    if (names == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetPresetNameList";
    uint8_t packet[kPresetNamePacketSize] = {};
    packet[0] = kOpPresetNames;
    if (const int rc = qv::exchange(fn, packet, kPresetNamePacketSize, kPresetNameStatus); rc != RC_OK)
        return rc;
    for (std::size_t i = 0; i < kPresetCount; ++i) {
        const uint8_t* field = packet + kPresetNamesAt + kPresetNameField * i;
        qv::copy_text_field(names[i], field, kNameChars);
        // The line shows the field itself: up to its first NUL, never past its 15 bytes.
        char shown[kPresetNameField + 1] = {};
        std::memcpy(shown, field, kPresetNameField);
        qv::log("ColorSpace Name = %s \n", shown);
    }
    return RC_OK;
}

}  // extern "C"
