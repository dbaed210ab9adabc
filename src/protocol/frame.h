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

}  // namespace qv
