// The display's test patterns. The status is a plain row of table/test_pattern.def; switching
// the mode and showing patterns use commands of their own, each a 32-byte packet in the layout of
// a settings packet whose byte 4 selects the variant:
//   opcode 17: mode on (byte 4 = 3) or off (byte 4 = 0);
//   opcode 16: user-mode flat colour (byte 4 = 2, red, green, blue at bytes 7-9);
//   opcode 18: service-mode built-in pattern (byte 4 = 1, pattern number at byte 7).
// A refusal from the display prints "RegUsbApi Status Failed." throughout.
#include "protocol/frame.h"
#include "protocol/log.h"

namespace {

constexpr uint8_t kOpUserColour = 16;
constexpr uint8_t kOpMode = 17;
constexpr uint8_t kOpServicePattern = 18;
constexpr int kModeOn = 3;
constexpr int kModeOff = 0;
constexpr int kUserColour = 2;
constexpr int kServicePattern = 1;
constexpr uint8_t kEndServicePattern = 10;  // ends a built-in pattern before the mode goes off

// A test-pattern command: byte 0 the opcode, byte 4 the variant, all else zero until filled.
void build_command(uint8_t* packet, uint8_t opcode, int variant) {
    qv::build_setting_packet(packet, opcode, variant, 0);
}

int send_command(const char* fn, uint8_t* packet) {
    return qv::exchange(fn, packet, qv::kSettingPacketSize, qv::kStatusByte, qv::StatusLine::status);
}

// Reads the test-pattern status into *status (0 when the read fails). Returns 0 to go on, or the
// status read's code after this function's own line.
int read_status(const char* fn, uint8_t* status) {
    *status = 0;
    if (const int rc = GetTestPatternStatus(status); rc != RC_OK) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", fn);
        return rc;
    }
    return RC_OK;
}

// A colour level 0..255 with the line that names the colour.
bool level_ok(const char* fn, int16_t level, const char* colour) {
    if (s16ValidateSWord16Var(level, 0, 255) == 0) return true;
    qv::log("<ERROR> %s: %s Validation Failed.\n", fn, colour);
    return false;
}

}  // namespace

extern "C" {

QV_API int EnableTestPattern(void) noexcept {
    uint8_t packet[qv::kSettingPacketSize];
    build_command(packet, kOpMode, kModeOn);
    return send_command("EnableTestPattern", packet);
}

QV_API int ShowTestPatternforUserMode(int16_t red, int16_t green, int16_t blue) noexcept {
    static constexpr const char* fn = "ShowTestPatternforUserMode";
    uint8_t status = 0;
    if (const int rc = read_status(fn, &status); rc != RC_OK) return rc;
    if (status == 0) return RC_NOT_ALLOWED;
    if (!level_ok(fn, red, "Red") || !level_ok(fn, green, "Green") || !level_ok(fn, blue, "Blue"))
        return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    build_command(packet, kOpUserColour, kUserColour);
    packet[7] = static_cast<uint8_t>(red);
    packet[8] = static_cast<uint8_t>(green);
    packet[9] = static_cast<uint8_t>(blue);
    return send_command(fn, packet);
}

QV_API int ShowTestPatternServiceMode(uint32_t pattern) noexcept {
    static constexpr const char* fn = "ShowTestPatternServiceMode";
    uint8_t status = 0;
    if (const int rc = read_status(fn, &status); rc != RC_OK) return rc;
    if (status == 0) return RC_NOT_ALLOWED;
    // Judged by its low 16 bits, as every range check is.
    if (const int rc = qv::validate(fn, static_cast<int>(pattern & 0xFFFFu), 0, 9); rc != RC_OK)
        return rc;
    uint8_t packet[qv::kSettingPacketSize];
    build_command(packet, kOpServicePattern, kServicePattern);
    packet[7] = static_cast<uint8_t>(pattern & 0xFFu);
    return send_command(fn, packet);
}

// Status 1 means a built-in pattern is up: it is ended first (pattern 10), and a failure there
// gives RC_FAILED without switching the mode off. The closing request is always a fresh packet.
QV_API int DisableTestPattern(void) noexcept {
    static constexpr const char* fn = "DisableTestPattern";
    uint8_t status = 0;
    if (const int rc = read_status(fn, &status); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    if (status == 1) {
        build_command(packet, kOpServicePattern, kServicePattern);
        packet[7] = kEndServicePattern;
        if (send_command(fn, packet) != RC_OK) return RC_FAILED;
    }
    build_command(packet, kOpMode, kModeOff);
    return send_command(fn, packet);
}

}  // extern "C"
