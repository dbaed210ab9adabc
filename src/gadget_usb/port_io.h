// One request and its reply on the open link, for the exchange.
#pragma once

#include <cstdint>

namespace qv {

// not_connected: ConnectFlag was not 1, nothing was sent.
enum class LinkResult { ok, write_failed, read_failed, not_connected };

// Writes the packet as WritePort does, then reads the reply into the same buffer as ReadPort
// does with a count of `length` and the given timeout (ms). The read runs only after a write
// that succeeded; the packet is written only by the read that brings data.
LinkResult write_then_read(uint8_t* packet, uint16_t length, int64_t read_timeout);

// The same for the settings exchange: a 32-byte packet (never null) and a 10-second read,
// with those constants folded into the body. Unless ConnectFlag is 1 it sends nothing and
// returns not_connected.
inline constexpr uint16_t kSettingExchangeLength = 32;
inline constexpr int64_t kSettingExchangeTimeout = 10000;
LinkResult write_then_read_setting(uint8_t* packet) __attribute__((nonnull));

}  // namespace qv
