#include "protocol/frame.h"

#include <cstring>

#include "protocol/exchange.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace qv {

void build_setting_packet(uint8_t* packet, uint8_t opcode, int group, int item) {
    std::memset(packet, 0, kSettingPacketSize);
    packet[0] = opcode;
    packet[4] = static_cast<uint8_t>(group);
    packet[5] = static_cast<uint8_t>(item);
}

int exchange(const char* function, uint8_t* packet, uint16_t length, std::size_t status_byte,
             StatusLine refusal_line) {
    // Only the low 16 bits of the exchange's result are looked at.
    if (static_cast<uint16_t>(exchange_packet(packet, length)) != 0) {
        log("<ERROR> %s: RegUsbApi Failed.\n", function);
        return RC_EXCHANGE_FAILED;
    }
    if (packet[status_byte] != 0) {
        if (refusal_line == StatusLine::status)
            log("<ERROR> %s: RegUsbApi Status Failed.\n", function);
        else
            log("<ERROR> %s: RegUsbApi Failed.\n", function);
        return RC_DEVICE_STATUS;
    }
    return RC_OK;
}

int exchange_get(const char* function, uint8_t* packet, int group, int item, StatusLine refusal_line) {
    build_setting_packet(packet, kOpGet, group, item);
    return exchange(function, packet, kSettingPacketSize, kStatusByte, refusal_line);
}

int validate(const char* function, int value, int low, int high, int step) {
    if (s16ValidateSWord16Var(value, low, high) != 0 || (step != 0 && value % step != 0)) {
        log("<ERROR> %s: Validation Failed.\n", function);
        return RC_INVALID_ARGUMENT;
    }
    return RC_OK;
}

void copy_text_field(char* dst, const uint8_t* src, std::size_t max_chars) {
    std::size_t i = 0;
    for (; i < max_chars && src[i] != 0; ++i) dst[i] = static_cast<char>(src[i]);
    for (; i < max_chars; ++i) dst[i] = '\0';
    dst[max_chars] = '\0';
}

namespace {

StatusLine refusal_line_of(const SettingRow& row) {
    return (row.flags & F_STATUS_LINE) != 0 ? StatusLine::status : StatusLine::frame;
}

int get_common(const SettingRow& row, uint8_t* packet) {
    if (const int rc = check_guard(row.get_guard, row.getter); rc != RC_OK) return rc;
    return exchange_get(row.getter, packet, row.get_key.group, row.get_key.item, refusal_line_of(row));
}

}  // namespace

int run_get(const SettingRow& row, uint8_t* value) {
    uint8_t packet[kSettingPacketSize];
    if (const int rc = get_common(row, packet); rc != RC_OK) return rc;
    *value = packet[kPayload];
    if (row.value_line != nullptr) log(row.value_line, static_cast<int>(*value));
    return RC_OK;
}

int run_get(const SettingRow& row, int16_t* value) {
    uint8_t packet[kSettingPacketSize];
    if (const int rc = get_common(row, packet); rc != RC_OK) return rc;
    *value = static_cast<int16_t>(get_le16(packet + kPayload));
    if (row.value_line != nullptr) log(row.value_line, static_cast<int>(*value));
    return RC_OK;
}

int run_set(const SettingRow& row, int value) {
    if ((row.flags & F_TRY_LINE) != 0) log("Trying to set value %d \n", value);
    const bool check_first = (row.flags & F_CHECK_FIRST) != 0;
    if (!check_first) {
        if (const int rc = check_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    if (row.kind != Kind::ACTION && (row.flags & F_NO_RANGE) == 0) {
        if (const int rc = validate(row.setter, value, row.low, row.high, row.step); rc != RC_OK)
            return rc;
    }
    if (check_first) {
        if (const int rc = check_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    uint8_t packet[kSettingPacketSize];
    build_setting_packet(packet, kOpSet, row.set_key.group, row.set_key.item);
    put_le16(packet + kPayload, static_cast<uint16_t>(value));
    return exchange(row.setter, packet, kSettingPacketSize, kStatusByte, refusal_line_of(row));
}

}  // namespace qv

extern "C" {

QV_API int s16ValidateSWord16Var(int value, int low, int high) noexcept {
    // Each argument is judged by its low 16 bits read as signed (65584 is judged as 48).
    const auto v = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(value) & 0xFFFFu));
    const auto lo = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(low) & 0xFFFFu));
    const auto hi = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(high) & 0xFFFFu));
    if (v > hi) return -1;
    if (v < lo) return -1;
    return 0;
}

QV_API int SetLog(uint8_t enable) noexcept {
    LogMessage = enable;
    return RC_OK;
}

QV_API int GetSdkVersion(char* version) noexcept {
    std::memcpy(version, "v1.0", 5);
    qv::log("USB SDK version is %s \n", version);
    return RC_OK;
}

}  // extern "C"
