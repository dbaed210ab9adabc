#include "protocol/frame.h"

#include <cstring>

#include "quorvex.h"

namespace qv {

void build_setting_packet(uint8_t* packet, uint8_t opcode, int group, int item) {
    std::memset(packet, 0, kSettingPacketSize);
    packet[0] = opcode;
    packet[4] = static_cast<uint8_t>(group);
    packet[5] = static_cast<uint8_t>(item);
}

int frame_failed(const char* function, LinkResult result, StatusLine refusal_line) {
    if (result != LinkResult::ok) {
        link_failed(result);
        log("<ERROR> %s: RegUsbApi Failed.\n", function);
        return RC_EXCHANGE_FAILED;
    }
    if (refusal_line == StatusLine::status)
        log("<ERROR> %s: RegUsbApi Status Failed.\n", function);
    else
        log("<ERROR> %s: RegUsbApi Failed.\n", function);
    return RC_DEVICE_STATUS;
}

int validation_failed(const char* function) {
    log("<ERROR> %s: Validation Failed.\n", function);
    return RC_INVALID_ARGUMENT;
}

int exchange(const char* function, uint8_t* packet, uint16_t length, std::size_t status_byte,
             StatusLine refusal_line) {
    const LinkResult r = exchange_link(packet, length);
    if (r != LinkResult::ok || packet[status_byte] != 0) return frame_failed(function, r, refusal_line);
    return RC_OK;
}

int exchange_get(const char* function, uint8_t* packet, int group, int item, StatusLine refusal_line) {
    build_setting_packet(packet, kOpGet, group, item);
    return exchange(function, packet, kSettingPacketSize, kStatusByte, refusal_line);
}

int validate(const char* function, int value, int low, int high, int step) {
    if (!in_s16_range(value, low, high) || (step != 0 && value % step != 0))
        return validation_failed(function);
    return RC_OK;
}

void copy_text_field(char* dst, const uint8_t* src, std::size_t max_chars) {
    std::size_t i = 0;
    for (; i < max_chars && src[i] != 0; ++i) dst[i] = static_cast<char>(src[i]);
    for (; i < max_chars; ++i) dst[i] = '\0';
    dst[max_chars] = '\0';
}

}  // namespace qv

extern "C" {

QV_API int s16ValidateSWord16Var(int value, int low, int high) noexcept {
    // Each argument is judged by its low 16 bits read as signed (65584 is judged as 48).
    return qv::in_s16_range(value, low, high) ? 0 : -1;
}

QV_API int SetLog(uint8_t enable) noexcept {
    LogMessage = enable;
    return RC_OK;
}

QV_API int GetSdkVersion(char* version) noexcept {
    if (version == nullptr) return RC_INVALID_ARGUMENT;
    std::memcpy(version, "v1.0", 5);
    qv::log("USB SDK version is %s \n", version);
    return RC_OK;
}

}  // extern "C"
