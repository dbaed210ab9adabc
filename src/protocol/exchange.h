// One request/response exchange with the display's firmware: RegUsbApi's work, inline, for the
// settings frame that runs almost every exchange.
#pragma once

#include <cstdint>

#include "gadget_usb/port_io.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace qv {

// The read timeout of a command, in milliseconds: the long calibration and alignment runs wait
// 20 or 60 minutes for their reply, everything else 10 seconds. (A bit per opcode: the lookup is
// a shift and a test.)
constexpr uint64_t opcode_bit(unsigned opcode) { return uint64_t{1} << opcode; }
inline constexpr uint64_t kTwentyMinutes = opcode_bit(11) | opcode_bit(13) |
                                           opcode_bit(26) |  // colorimeter positioning
                                           opcode_bit(36);   // internal calibration-device alignment
inline constexpr uint64_t kSixtyMinutes = opcode_bit(27) |   // XML-driven calibration run
                                          opcode_bit(35);    // preset recalibration and calibration

constexpr int read_timeout(uint8_t opcode) {
    if (opcode < 64 && (kTwentyMinutes & opcode_bit(opcode)) != 0) return 1200000;
    if (opcode < 64 && (kSixtyMinutes & opcode_bit(opcode)) != 0) return 3600000;
    return 10000;
}

// RegUsbApi's report of a failed exchange: its line after a write or read failure (whatever
// LogMessage holds), nothing when not connected. Returns RC_FAILED.
[[gnu::cold]] int link_failed(LinkResult result);

// The exchange without its report: not_connected unless ConnectFlag is 1 (tested before the
// packet is looked at).
inline LinkResult exchange_link(uint8_t* packet, uint16_t length) {
    if (ConnectFlag != 1) return LinkResult::not_connected;
    if (packet == nullptr) return write_then_read(packet, length, 0);  // refused by the write
    // The opcode is read before the write: the request stays as it is until the reply arrives.
    const int timeout = read_timeout(packet[0]);
    if (length == kSettingExchangeLength && timeout == kSettingExchangeTimeout)
        return write_then_read_setting(packet);
    return write_then_read(packet, length, timeout);
}

// Sends the packet and reads the reply into it: RC_OK, or RC_FAILED when not connected
// (silently) or when the write or the read failed (with a line, whatever LogMessage holds).
inline int exchange_packet(uint8_t* packet, uint16_t length) {
    const LinkResult result = exchange_link(packet, length);
    if (result != LinkResult::ok) [[unlikely]] return link_failed(result);
    return RC_OK;
}

}  // namespace qv
