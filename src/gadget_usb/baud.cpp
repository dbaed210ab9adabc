#include "gadget_usb/baud.h"

#include <cstdlib>

namespace qv {
namespace {

constexpr int kBaseClock = 24000000;
constexpr int kMaxDivisor = 131064;  // 0x1FFF8
constexpr uint8_t am_adjust_dn[8] = {0, 0, 0, 1, 0, 1, 2, 3};
constexpr uint8_t am_adjust_up[8] = {0, 0, 0, 1, 0, 3, 2, 1};
constexpr uint8_t frac_code[8] = {0, 3, 2, 4, 1, 5, 6, 7};

}  // namespace

int to_clkbits_AM(int rate, uint64_t* encoded) {
    int divisor = kBaseClock / rate;
    divisor -= am_adjust_dn[divisor & 7];
    int best_divisor = 0;
    int best_rate = 0;
    int best_error = 0;
    for (int i = 0; i < 2; ++i) {
        int candidate = divisor + i;
        if (candidate <= 8) {
            candidate = 8;
        } else if (divisor < 16) {
            candidate = 16;
        } else {
            candidate += am_adjust_up[candidate & 7];
            if (candidate > kMaxDivisor) candidate = kMaxDivisor;
        }
        const int achieved = (kBaseClock + candidate / 2) / candidate;
        const int error = std::abs(achieved - rate);
        if (i == 0 || error < best_error) {
            best_divisor = candidate;
            best_rate = achieved;
            best_error = error;
            if (error == 0) break;
        }
    }
    uint64_t code = static_cast<uint64_t>(best_divisor >> 3) |
                    (static_cast<uint64_t>(frac_code[best_divisor & 7]) << 14);
    if (code == 1) code = 0;  // divisor 8 (3 Mbaud) is encoded as 0
    *encoded = code;
    return best_rate;
}

int convert_baudrate(int rate, uint16_t* value, uint16_t* index) {
    if (rate <= 0) return -1;
    uint64_t encoded = 0;
    const int achieved = to_clkbits_AM(rate, &encoded);
    *value = static_cast<uint16_t>(encoded & 0xFFFFu);
    *index = static_cast<uint16_t>(encoded >> 16);
    return achieved;
}

int decode_baud_divisor(uint16_t value, uint16_t index) {
    // Eighths for each 3-bit fraction code (the inverse of frac_code).
    constexpr uint8_t eighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    const uint32_t encoded = static_cast<uint32_t>(value) | (static_cast<uint32_t>(index) << 16);
    if (encoded == 0) return 3000000;
    if (encoded == 1) return 2000000;
    const uint32_t divisor = ((encoded & 0x3FFFu) << 3) | eighths[(encoded >> 14) & 7u];
    if (divisor == 0) return 0;
    return static_cast<int>((kBaseClock + divisor / 2) / divisor);
}

}  // namespace qv
