// Settings as they pass by on the wire: a command packet the library sent and the display's
// reply, read back as a setting's name and JSON value (the settings layer's values). Used where
// the exchanges are seen but not made, such as a broker between the library and the display.
//
// Where each value lies in the packet follows from the command table's rows and the value
// descriptions of its departure rows (records.h), as the library's functions lay them out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "settings.h"

namespace qv::settings {

struct Decoded {
    const Setting* setting = nullptr;
    // A record list's entry (input-name): the one entry the packet carries, and its selector.
    Json value;
    Json entry;  // null unless a record list's
};

// A set the display accepted (status 0 in its reply): the setting and the value it now has.
// Only the fields a set carries are in a record's value (read-only fields are the display's).
// Nothing for a refused set, an action, another command or a packet too short.
std::optional<Decoded> decode_set(std::span<const uint8_t> request, std::span<const uint8_t> reply);

// A get the display answered (status 0): the setting and the value its reply holds, as
// settings::read gives it.
std::optional<Decoded> decode_get(std::span<const uint8_t> request, std::span<const uint8_t> reply);

// The display's reply from the bytes an IN transfer moved: without the bridge's status bytes
// leading each 64-byte packet.
std::vector<uint8_t> reply_bytes(std::span<const uint8_t> transfer);

}  // namespace qv::settings
