// The serial bridge's baud-rate divisor (the AM-type divisor rule; base clock 24 MHz, divisors in
// eighths).
#pragma once

#include <cstdint>

namespace qv {

// Encodes the best divisor for rate into *encoded (low 17 bits) and returns the rate it gives.
int to_clkbits_AM(int rate, uint64_t* encoded);

// -1 for a rate of 0 or less (value and index unwritten); otherwise the achieved rate, with the
// wValue and wIndex of the bridge's set-baud-rate request.
int convert_baudrate(int rate, uint16_t* value, uint16_t* index);

// The inverse, as the bridge reads the request: the rate that wValue/wIndex program.
int decode_baud_divisor(uint16_t value, uint16_t index);

}  // namespace qv
