// One request/response exchange with the display's firmware.
#include "protocol/exchange.h"

namespace qv {

int link_failed(LinkResult result) {
    if (result == LinkResult::write_failed)
        log_always("<ERROR> %s: Could not Write usb.\n", "RegUsbApi");
    else if (result == LinkResult::read_failed)
        log_always("<ERROR> %s: Could not Read usb.\n", "RegUsbApi");
    return RC_FAILED;
}

}  // namespace qv

extern "C" {

QV_API int SetTimeOutForReadPort(uint8_t opcode) noexcept { return qv::read_timeout(opcode); }

QV_API uint8_t ubGetGroupId(uint8_t identifier) noexcept {
    const unsigned id = identifier;
    if (id >= 21 && id <= 22) return 1;
    if (id >= 23 && id <= 34) return 2;
    if (id >= 35 && id <= 48) return 3;
    if (id >= 50 && id <= 57) return 5;
    if (id >= 58 && id <= 67) return 4;
    if (id >= 68 && id <= 76) return 6;
    if (id >= 77 && id <= 81) return 7;
    if (id >= 82 && id <= 84) return 8;
    if (id >= 88 && id <= 94) return 9;
    return 0;
}

QV_API int RegUsbApi(uint8_t* packet, uint16_t length) noexcept {
    return qv::exchange_packet(packet, length);
}

}  // extern "C"
