// Moving packets over the serial bridge's bulk endpoints.
//
// On the IN side the bridge frames everything in 64-byte USB packets, each starting with two
// modem/line status bytes that are not data. A read asks for 4096 bytes, checks the status
// bytes of the first packet and strips them from every packet.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gadget_usb/clock.h"
#include "gadget_usb/link.h"
#include "gadget_usb/usb_backend.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

constexpr uint8_t kEndpointOut = 0x02;
constexpr uint8_t kEndpointIn = 0x81;
constexpr int kScratchSize = 4096;
constexpr uint16_t kMaxWrite = 515;
constexpr unsigned kWriteTimeoutMs = 5000;
constexpr int kBridgePacket = 64;
constexpr int kBridgeData = 62;

bool status_bytes_ok(const uint8_t* scratch) {
    return scratch[0] == 0x01 && (scratch[1] == 0x60 || scratch[1] == 0x00);
}

// Strips the status bytes of every bridge packet in a transfer of `length` bytes; the data end
// up contiguous from scratch + 2. Returns the number of data bytes.
int strip_status_bytes(uint8_t* scratch, int length) {
    uint8_t* data = scratch + 2;
    const int whole = length / kBridgePacket;
    const int rest = length % kBridgePacket;
    if (length - 2 > kBridgeData) {
        for (int k = 1; k <= whole - 1; ++k)
            std::memmove(data + kBridgeData * k, data + kBridgePacket * k, kBridgeData);
    }
    if (rest > 2) {
        std::memmove(data + kBridgeData * whole, data + kBridgePacket * whole,
                     static_cast<size_t>(rest - 2));
        return length - 2 - 2 * whole;
    }
    return length - 2 - 2 * (whole - 1) - rest;
}

}  // namespace

extern "C" {

QV_API int WritePort(uint8_t* packet, uint16_t length) noexcept {
    if (packet == nullptr || length == 0) return RC_INVALID_ARGUMENT;
    if (g_glimmetHandle == nullptr) {
        qv::log("<ERROR> %s: Uninitialised usb interface\n", "WritePort");
        return RC_FAILED;
    }
    if (length > kMaxWrite) {
        qv::log("<ERROR> %s: Length overflow %d\n", "WritePort", static_cast<int>(length));
        return RC_FAILED;
    }
    int transferred = 0;
    const int rc = qv::usb().bulk_transfer(qv::link_handle(), kEndpointOut, packet, length,
                                           &transferred, kWriteTimeoutMs);
    if (rc != 0) {
        qv::log("<ERROR> %s: Write failed. Error %d\n", "WritePort", rc);
        return rc;
    }
    // A short write still counts as success.
    qv::log("<INFO> %s:Usb write success ,written '%d' bytes\n", "WritePort", transferred);
    return 0;
}

QV_API int read_data_logic(uint8_t* buffer, int size, int64_t timeout) noexcept {
    if (size < 0) return qv::USB_ERROR_INVALID_PARAM;
    auto* scratch = static_cast<uint8_t*>(std::calloc(kScratchSize, 1));
    if (scratch == nullptr) return qv::USB_ERROR_NO_MEM;
    int result = -127;
    if (size == 0) {
        qv::log("Returning bytes from buffer: %d - remaining: %d\n", 0, 0);
        result = 0;
    } else {
        int delivered = 0;
        bool retried = false;
        int previous_length = 1;
        while (delivered < size && previous_length > 0) {
            int length = 0;
            const int rc = qv::usb().bulk_transfer(qv::link_handle(), kEndpointIn, scratch,
                                                   kScratchSize, &length,
                                                   static_cast<unsigned>(timeout));
            previous_length = length;
            if (!status_bytes_ok(scratch)) {
                if (retried) {
                    result = -1;
                    break;
                }
                retried = true;
                continue;
            }
            if (rc < 0) {
                std::puts("usb bulk read failed");
                result = rc;
                break;
            }
            if (length <= 2) {  // status bytes only: no data this time
                result = delivered;
                break;
            }
            const int data_length = strip_status_bytes(scratch, length);
            if (delivered + data_length <= size) {
                std::memcpy(buffer + delivered, scratch + 2, static_cast<size_t>(data_length));
                delivered += data_length;
                result = delivered;
            } else {  // more than asked: the rest is dropped
                std::memcpy(buffer + delivered, scratch + 2, static_cast<size_t>(size - delivered));
                result = size;
            }
            break;
        }
    }
    std::free(scratch);
    return result;
}

QV_API int ReadPort(uint8_t* packet, uint16_t* count, int64_t timeout) noexcept {
    int64_t attempts = timeout / 1000;
    if (packet == nullptr || count == nullptr || static_cast<int16_t>(*count) < 0) {
        qv::log("<ERROR> %s: Invalid Arguments.\n", "ReadPort");
        return RC_INVALID_ARGUMENT;
    }
    if (g_glimmetHandle == nullptr) {
        qv::log("<ERROR> %s: Uninitialised usb interface\n", "ReadPort");
        return RC_FAILED;
    }
    const int wanted = static_cast<int16_t>(*count);
    int delivered = 0;
    while (attempts > 0) {
        --attempts;
        // Each read asks for no more than the bridge moves in about 1/50 s at the current rate.
        const int q = baudrate / 512;
        const int size = q > wanted ? wanted : (q == 0 ? 1 : q);
        delivered = read_data_logic(packet, size, timeout);
        if (delivered > 0) break;
        qv::clock().sleep_us(1000000);
    }
    if (delivered <= 0) return RC_FAILED;
    *count = static_cast<uint16_t>(delivered);
    qv::log("<INFO> %s: Read '%d' bytes from Quorvex device\n", "ReadPort", delivered);
    return 0;
}

}  // extern "C"
