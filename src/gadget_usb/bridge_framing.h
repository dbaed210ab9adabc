// The serial bridge's USB side: its endpoints and how it frames what it sends to the host.
#pragma once

#include <cstdint>

namespace qv {

inline constexpr uint8_t kEndpointOut = 0x02;
inline constexpr uint8_t kEndpointIn = 0x81;
// Every bulk IN transfer asks for this much.
inline constexpr int kInTransferSize = 4096;
inline constexpr int kBridgePacket = 64;
inline constexpr int kBridgeStatus = 2;  // the status bytes leading each 64-byte packet

// The first packet's status bytes as the bridge sends them when all is well.
inline bool bridge_status_ok(const uint8_t* transfer) {
    return transfer[0] == 0x01 && (transfer[1] == 0x60 || transfer[1] == 0x00);
}

// An IN transfer that brings the display's data: it worked, its status bytes are right and it
// carries more than them.
inline bool brings_data(int rc, const uint8_t* transfer, int length) {
    return rc == 0 && length > kBridgeStatus && bridge_status_ok(transfer);
}

}  // namespace qv
