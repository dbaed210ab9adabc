// What a broker between the library and the display needs to know of a command from its
// request alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/exchange.h"

namespace qv {

// Commands that only read: everything else changes the display (sets, actions, test
// patterns, uploads, calibration runs, positioning, alignment).
constexpr bool command_only_reads(uint8_t opcode) {
    switch (opcode) {
        case 8:   // get a setting
        case 12:  // calibration mode
        case 20:  // information string
        case 22:  // preset names
        case 28:  // number of files
        case 29:  // a file's chunk
            return true;
        default:
            return false;
    }
}

// The long commands: their replies may take minutes.
constexpr bool command_is_long(uint8_t opcode) { return read_timeout(opcode) > 10000; }

// Commands of a sequence the display treats as one (an upload's chunks, a download's count and
// chunks).
constexpr bool command_in_sequence(uint8_t opcode) { return opcode == 24 || opcode == 28 || opcode == 29; }

// Where the reply's status byte is, by the request's opcode and length.
constexpr std::size_t reply_status_at(uint8_t opcode, std::size_t length) {
    return length == 32 && opcode != 36 ? 6 : 1;
}

}  // namespace qv
