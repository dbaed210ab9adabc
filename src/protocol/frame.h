// The settings call frame: the get and the set that every plain row of the command table runs,
// and the helpers that the hand-written functions (records, guards, names, ...) share with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gadget_usb/port_io.h"
#include "protocol/command_table.h"
#include "protocol/exchange.h"
#include "protocol/log.h"

namespace qv {

inline constexpr std::size_t kSettingPacketSize = 32;
inline constexpr uint8_t kOpGet = 8;
inline constexpr uint8_t kOpSet = 3;
inline constexpr std::size_t kStatusByte = 6;
inline constexpr std::size_t kPayload = 7;
static_assert(kSettingPacketSize == kSettingExchangeLength);

// Which error line a refused reply prints.
enum class StatusLine : uint8_t { frame, status };

// Zero a 32-byte settings packet and fill its header.
void build_setting_packet(uint8_t* packet, uint8_t opcode, int group, int item);

// Exchange a packet and map the outcome the frame's way: RegUsbApi failing gives
// RC_EXCHANGE_FAILED, a non-zero status byte RC_DEVICE_STATUS, each after the function's error
// line ("RegUsbApi Failed." for both, or "RegUsbApi Status Failed." for the refusal when asked).
int exchange(const char* function, uint8_t* packet, uint16_t length = kSettingPacketSize,
             std::size_t status_byte = kStatusByte, StatusLine refusal_line = StatusLine::frame);

// Build, exchange and map a settings get; on RC_OK the reply is in packet.
int exchange_get(const char* function, uint8_t* packet, int group, int item,
                 StatusLine refusal_line = StatusLine::frame);

// The frame's range check with its error line: 0, or RC_INVALID_ARGUMENT after
// "<ERROR> %s: Validation Failed.\n". A non-zero step also demands a multiple of it.
int validate(const char* function, int value, int low, int high, int step = 0);

// Little-endian, unaligned.
inline void put_le16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFFu);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint16_t get_le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Copy a text field of the display: characters up to the first NUL or max_chars, whichever
// comes first, the rest of dst[0..max_chars-1] NUL-filled, then dst[max_chars] = NUL.
void copy_text_field(char* dst, const uint8_t* src, std::size_t max_chars);

// Run a precondition (guards.cpp): 0 to go on, or the result code to return after the guard's
// own lines, which name `function`. No guard (nullptr) always goes on.
int check_guard(const Guard* guard, const char* function);

// The frame's failure lines, each with the function's name, and the code it returns. They run
// only when something went wrong, so they stay out of line.
//   a failed exchange (result not ok): RegUsbApi's own line (see link_failed), then
//     "RegUsbApi Failed.", RC_EXCHANGE_FAILED;
//   else a refused reply: "RegUsbApi Failed." or "RegUsbApi Status Failed.", RC_DEVICE_STATUS.
[[gnu::cold]] int frame_failed(const char* function, LinkResult result, StatusLine refusal_line);
//   an argument out of range: "Validation Failed.", RC_INVALID_ARGUMENT.
[[gnu::cold]] int validation_failed(const char* function);

// The range check of every setter: the value and both bounds judged by their low 16 bits, read
// as signed, bounds inclusive.
constexpr int16_t low16(int v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(v) & 0xFFFFu));
}
constexpr bool in_s16_range(int value, int low, int high) {
    const int16_t v = low16(value);
    return !(v > low16(high)) && !(v < low16(low));
}

// ---- The frames of the plain rows of the command table. Each exported function of a plain
// row runs its row as a compile-time constant: the request is built with constant stores, and
// what a row does not use (guard, range, step, extra lines) is not there at all. Only the wire
// work is a call, into the port.

template <std::size_t I>
constexpr StatusLine refusal_line_of() {
    return (kSettings[I].flags & F_STATUS_LINE) != 0 ? StatusLine::status : StatusLine::frame;
}

// A 32-byte settings request: opcode, three zero bytes, group, item, then zeros.
template <uint8_t Opcode, int Group, int Item>
[[gnu::always_inline]] inline void build_request(uint8_t* packet) {
    constexpr uint8_t header[8] = {Opcode, 0, 0, 0, static_cast<uint8_t>(Group),
                                   static_cast<uint8_t>(Item), 0, 0};
    std::memcpy(packet, header, sizeof header);
    std::memset(packet + sizeof header, 0, kSettingPacketSize - sizeof header);
}

// The exchange of a settings request and the frame's reading of its outcome (see exchange()).
template <uint8_t Opcode, StatusLine RefusalLine>
[[gnu::always_inline]] inline int exchange_request(const char* function, uint8_t* packet) {
    static_assert(read_timeout(Opcode) == kSettingExchangeTimeout);
    const LinkResult r = write_then_read_setting(packet);
    // A failed exchange is reported as such; only a reply has its status byte looked at.
    if (r != LinkResult::ok || packet[kStatusByte] != 0) [[unlikely]]
        return frame_failed(function, r, RefusalLine);
    return RC_OK;
}

// Runs a guard of a row, if it has one: 0 to go on, or the code to return. (A plain test: the
// row is a constant, so the optimiser keeps only the call of a row that has a guard. Whether a
// guard's address is null is not a constant expression under the sanitizers.)
[[gnu::always_inline]] inline int row_guard(const Guard* guard, const char* function) {
    if (guard == nullptr) return RC_OK;
    return check_guard(guard, function);
}

// The get frame of plain row I. The caller's storage is written only on success.
template <std::size_t I, class T>
[[gnu::always_inline]] inline int table_get(T* value) {
    constexpr const SettingRow& row = kSettings[I];
    static_assert(!row.departure && row.getter != nullptr && row.value_line != nullptr);
    static_assert(row.kind == Kind::S16 ? sizeof(T) == 2 : sizeof(T) == 1);
    if (value == nullptr) [[unlikely]] return RC_INVALID_ARGUMENT;  // before the guard: nothing is sent
    if (const int rc = row_guard(row.get_guard, row.getter); rc != RC_OK) return rc;
    uint8_t packet[kSettingPacketSize];
    build_request<kOpGet, row.get_key.group, row.get_key.item>(packet);
    if (const int rc = exchange_request<kOpGet, refusal_line_of<I>()>(row.getter, packet); rc != RC_OK)
        return rc;
    if constexpr (row.kind == Kind::S16) {
        *value = static_cast<int16_t>(get_le16(packet + kPayload));
    } else {
        *value = packet[kPayload];
    }
    log(row.value_line, static_cast<int>(*value));
    return RC_OK;
}

// The set frame of plain row I (value 0 for an action, which sends none): the "Trying to set"
// line if the row has one, then the guard and the range check in the row's order, then the
// exchange.
template <std::size_t I>
[[gnu::always_inline]] inline int table_set(int value) {
    constexpr const SettingRow& row = kSettings[I];
    static_assert(!row.departure && row.setter != nullptr);
    constexpr bool check_first = (row.flags & F_CHECK_FIRST) != 0;
    constexpr bool checked = row.kind != Kind::ACTION && (row.flags & F_NO_RANGE) == 0;
    if constexpr ((row.flags & F_TRY_LINE) != 0) log("Trying to set value %d \n", value);
    if constexpr (!check_first) {
        if (const int rc = row_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    if constexpr (checked) {
        bool ok = in_s16_range(value, row.low, row.high);
        if constexpr (row.step != 0) ok = ok && value % row.step == 0;
        if (!ok) [[unlikely]] return validation_failed(row.setter);
    }
    if constexpr (check_first) {
        if (const int rc = row_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    uint8_t packet[kSettingPacketSize];
    build_request<kOpSet, row.set_key.group, row.set_key.item>(packet);
    if constexpr (row.kind != Kind::ACTION) put_le16(packet + kPayload, static_cast<uint16_t>(value));
    return exchange_request<kOpSet, refusal_line_of<I>()>(row.setter, packet);
}

}  // namespace qv
