// One request and its reply on the open link, for the exchange.
#pragma once

#include <cstdint>

namespace qv {

enum class LinkResult { ok, write_failed, read_failed };

// Writes the packet as WritePort does, then reads the reply into the same buffer as ReadPort
// does with a count of `length` and the given timeout (ms). The read runs only after a write
// that succeeded; the packet is written only by the read that brings data.
LinkResult write_then_read(uint8_t* packet, uint16_t length, int64_t read_timeout);

}  // namespace qv
