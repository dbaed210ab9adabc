// Moving packets over the serial bridge's bulk endpoints.
//
// On the IN side the bridge frames everything in 64-byte USB packets, each starting with two
// modem/line status bytes that are not data. A read asks for 4096 bytes, checks the status
// bytes of the first packet and strips them from every packet.
#include <cstdio>
#include <cstring>

#include "gadget_usb/bridge_framing.h"
#include "gadget_usb/clock.h"
#include "gadget_usb/link.h"
#include "gadget_usb/port_io.h"
#include "gadget_usb/usb_backend.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

using qv::kBridgeStatus;
using qv::kEndpointIn;
using qv::kEndpointOut;
constexpr int kScratchSize = qv::kInTransferSize;
constexpr uint16_t kMaxWrite = 515;
constexpr unsigned kWriteTimeoutMs = 5000;

bool status_bytes_ok(const uint8_t* scratch) { return qv::bridge_status_ok(scratch); }

// The three port functions, given the backend and the open handle (nullptr when there is
// none). The exported functions and the exchange below all run these same bodies, always
// inlined: one exchange is then a single call into this file, however the compiler would weigh
// a function with a 4 KiB frame.

[[gnu::always_inline]] inline int write_port(qv::UsbBackend& usb, qv::UsbHandle* handle,
                                             uint8_t* packet, uint16_t length) {
    if (packet == nullptr || length == 0) return RC_INVALID_ARGUMENT;
    if (handle == nullptr) {
        qv::log("<ERROR> %s: Uninitialised usb interface\n", "WritePort");
        return RC_FAILED;
    }
    if (length > kMaxWrite) {
        qv::log("<ERROR> %s: Length overflow %d\n", "WritePort", static_cast<int>(length));
        return RC_FAILED;
    }
    int transferred = 0;
    const int rc =
        usb.bulk_transfer(handle, kEndpointOut, packet, length, &transferred, kWriteTimeoutMs);
    if (rc != 0) {
        qv::log("<ERROR> %s: Write failed. Error %d\n", "WritePort", rc);
        return rc;
    }
    // A short write still counts as success.
    qv::log("<INFO> %s:Usb write success ,written '%d' bytes\n", "WritePort", transferred);
    return 0;
}

// One bulk read, status bytes checked and stripped (read_data_logic once the buffer and the
// handle are known to be there).
[[gnu::always_inline]] inline int read_transfer(qv::UsbBackend& usb, qv::UsbHandle* handle,
                                                uint8_t* buffer, int size, int64_t timeout) {
    if (size < 0) return qv::USB_ERROR_INVALID_PARAM;
    if (size == 0) {
        qv::log("Returning bytes from buffer: %d - remaining: %d\n", 0, 0);
        return 0;
    }
    // Room for the largest transfer asked of the bridge. Only the status bytes are read before
    // anything is known to be written: they start as 0, so a transfer that brings fewer than 2
    // bytes fails the status check. A second transfer sees what the first left there.
    uint8_t scratch[kScratchSize];
    scratch[0] = 0;
    scratch[1] = 0;
    for (bool retried = false;; retried = true) {
        int length = 0;
        const int rc = usb.bulk_transfer(handle, kEndpointIn, scratch, kScratchSize, &length,
                                         static_cast<unsigned>(timeout));
        if (!status_bytes_ok(scratch)) {
            if (retried) return -1;
            if (length <= 0) return -127;  // nothing came at all: not read again
            continue;                      // read once more
        }
        if (rc < 0) {
            std::puts("usb bulk read failed");
            return rc;
        }
        if (length <= kBridgeStatus) return 0;  // status bytes only: no data this time
        // More than asked for: the rest is dropped.
        return qv::bridge_data(scratch, length, buffer, size);
    }
}

[[gnu::always_inline]] inline int read_port(qv::UsbBackend& usb, qv::UsbHandle* handle,
                                            uint8_t* packet, uint16_t* count, int64_t timeout) {
    int64_t attempts = timeout / 1000;
    if (packet == nullptr || count == nullptr || static_cast<int16_t>(*count) < 0) {
        qv::log("<ERROR> %s: Invalid Arguments.\n", "ReadPort");
        return RC_INVALID_ARGUMENT;
    }
    if (handle == nullptr) {
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
        delivered = read_transfer(usb, handle, packet, size, timeout);
        if (delivered > 0) break;
        qv::clock().sleep_us(1000000);
    }
    if (delivered <= 0) return RC_FAILED;
    *count = static_cast<uint16_t>(delivered);
    qv::log("<INFO> %s: Read '%d' bytes from Quorvex device\n", "ReadPort", delivered);
    return 0;
}

}  // namespace

namespace qv {

namespace {

[[gnu::always_inline]] inline LinkResult write_then_read_body(uint8_t* packet, uint16_t length,
                                                              int64_t read_timeout) {
    UsbBackend& bus = usb();
    UsbHandle* const handle = link_handle();
    bus.begin_exchange(handle, static_cast<unsigned>(read_timeout));
    LinkResult result = LinkResult::ok;
    uint16_t count = length;
    if (write_port(bus, handle, packet, length) != 0)
        result = LinkResult::write_failed;
    else if (read_port(bus, handle, packet, &count, read_timeout) != 0)
        result = LinkResult::read_failed;
    bus.end_exchange(handle);
    return result;
}

}  // namespace

LinkResult write_then_read(uint8_t* packet, uint16_t length, int64_t read_timeout) {
    return write_then_read_body(packet, length, read_timeout);
}

LinkResult write_then_read_setting(uint8_t* packet) {
    if (ConnectFlag != 1) return LinkResult::not_connected;
    return write_then_read_body(packet, kSettingExchangeLength, kSettingExchangeTimeout);
}

}  // namespace qv

extern "C" {

QV_API int WritePort(uint8_t* packet, uint16_t length) noexcept {
    return write_port(qv::usb(), qv::link_handle(), packet, length);
}

QV_API int read_data_logic(uint8_t* buffer, int size, int64_t timeout) noexcept {
    if (buffer == nullptr) return RC_INVALID_ARGUMENT;
    qv::UsbHandle* const handle = qv::link_handle();
    if (handle == nullptr) {
        qv::log("<ERROR> %s: Uninitialised usb interface\n", "read_data_logic");
        return RC_FAILED;
    }
    return read_transfer(qv::usb(), handle, buffer, size, timeout);
}

QV_API int ReadPort(uint8_t* packet, uint16_t* count, int64_t timeout) noexcept {
    return read_port(qv::usb(), qv::link_handle(), packet, count, timeout);
}

}  // extern "C"
