// The serial bridge's USB side: its endpoints and how it frames what it sends to the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qv {

inline constexpr uint8_t kEndpointOut = 0x02;
inline constexpr uint8_t kEndpointIn = 0x81;
// Every bulk IN transfer asks for this much.
inline constexpr int kInTransferSize = 4096;
inline constexpr int kBridgePacket = 64;
inline constexpr int kBridgeStatus = 2;  // the status bytes leading each 64-byte packet
inline constexpr int kBridgeData = kBridgePacket - kBridgeStatus;

// The first packet's status bytes as the bridge sends them when all is well.
inline bool bridge_status_ok(const uint8_t* transfer) {
    return transfer[0] == 0x01 && (transfer[1] == 0x60 || transfer[1] == 0x00);
}

// An IN transfer that brings the display's data: it worked, its status bytes are right and it
// carries more than them.
inline bool brings_data(int rc, const uint8_t* transfer, int length) {
    return rc == 0 && length > kBridgeStatus && bridge_status_ok(transfer);
}

// Copies one bridge packet's data, n bytes (1 to 62), in two overlapping fixed-size moves that
// compile to a few plain loads and stores. (A memcpy of a short run of variable length costs
// several times as much: a call, or an inline byte-string move.)
[[gnu::always_inline]] inline void copy_packet_data(uint8_t* dst, const uint8_t* src, int n) {
    const auto k = static_cast<std::size_t>(n);
    if (k >= 32) {
        std::memcpy(dst, src, 32);
        std::memcpy(dst + k - 32, src + k - 32, 32);
    } else if (k >= 16) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + k - 16, src + k - 16, 16);
    } else if (k >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + k - 8, src + k - 8, 8);
    } else if (k >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + k - 4, src + k - 4, 4);
    } else {
        dst[0] = src[0];
        dst[k / 2] = src[k / 2];
        dst[k - 1] = src[k - 1];
    }
}

// Copies the data bytes of a transfer of `length` bytes (more than the status bytes) to `out`,
// without the status bytes that start each bridge packet, and stops after `room` bytes (at least
// one). A last packet of 2 bytes or fewer holds no data. Returns the number of bytes copied: each
// data byte is moved once, straight from the transfer to the caller's buffer.
[[gnu::always_inline]] inline int bridge_data(const uint8_t* transfer, int length, uint8_t* out, int room) {
    if (room <= kBridgeData) {
        // The first bridge packet holds all that fits: 62 data bytes, or the whole transfer.
        const int n = length - kBridgeStatus < room ? length - kBridgeStatus : room;
        copy_packet_data(out, transfer + kBridgeStatus, n);
        return n;
    }
    int copied = 0;
    for (int start = 0; length - start > kBridgeStatus && copied < room; start += kBridgePacket) {
        int n = length - start - kBridgeStatus;
        if (n > kBridgeData) n = kBridgeData;
        if (n > room - copied) n = room - copied;
        copy_packet_data(out + copied, transfer + start + kBridgeStatus, n);
        copied += n;
    }
    return copied;
}

}  // namespace qv
