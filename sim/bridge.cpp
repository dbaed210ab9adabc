#include "sim/bridge.h"

#include <algorithm>
#include <cstring>

#include "gadget_usb/baud.h"
#include "gadget_usb/usb_backend.h"
#include "sim/firmware.h"
#include "sim/virtual_clock.h"

namespace qv::sim {

namespace {
constexpr int kPacketData = 62;
}  // namespace

int Bridge::bulk_out(const uint8_t* data, int length, int* transferred) {
    if (faults.write_error != 0) {
        const int rc = faults.write_error;
        faults.write_error = 0;
        *transferred = 0;
        return rc;
    }
    Reply reply = firmware_.handle(data, static_cast<std::size_t>(length));
    *transferred = faults.short_write >= 0 ? std::min(faults.short_write, length) : length;
    if (faults.no_reply || reply.bytes.empty()) return USB_SUCCESS;
    if (faults.truncate_reply >= 0 && static_cast<std::size_t>(faults.truncate_reply) < reply.bytes.size())
        reply.bytes.resize(static_cast<std::size_t>(faults.truncate_reply));
    for (int i = 0; i < faults.extra_reply_bytes; ++i) reply.bytes.push_back(static_cast<uint8_t>(0xA0 + i));
    queue_.insert(queue_.end(), reply.bytes.begin(), reply.bytes.end());
    ready_at_us_ = clock_.now_us() + reply.delay_us;
    hold_in_ = reply.hold_in;
    return USB_SUCCESS;
}

int Bridge::bulk_in(uint8_t* buffer, int length, int* transferred, unsigned timeout_ms) {
    *transferred = 0;
    if (!faults.in.empty()) {
        const InFault f = faults.in.front();
        faults.in.pop_front();
        switch (f.kind) {
            case InFault::Kind::error_with_status:
                if (length >= 2) {
                    buffer[0] = 0x01;
                    buffer[1] = 0x60;
                    *transferred = 2;
                }
                return f.error;
            case InFault::Kind::error_no_status:
                return f.error;
            case InFault::Kind::wrong_status:
                if (length >= 2) {
                    buffer[0] = 0x31;
                    buffer[1] = 0x60;
                    *transferred = 2;
                }
                return USB_SUCCESS;
        }
    }
    if (!raw_transfers_.empty()) {
        const std::vector<uint8_t> t = raw_transfers_.front();
        raw_transfers_.pop_front();
        const auto n = std::min<std::size_t>(t.size(), static_cast<std::size_t>(length));
        std::memcpy(buffer, t.data(), n);
        *transferred = static_cast<int>(n);
        return USB_SUCCESS;
    }
    // A reply that holds the IN transfer is waited for, up to the transfer's timeout (0: none).
    if (const uint64_t wait = in_hold_us(timeout_ms); wait > 0) {
        if (auto* virtual_clock = dynamic_cast<VirtualClock*>(&clock_))
            virtual_clock->advance_us(wait);
        else
            clock_.sleep_us(wait);
    }
    // The bridge always answers: status bytes alone when nothing is ready.
    std::size_t data_left = clock_.now_us() >= ready_at_us_ ? queue_.size() : 0;
    if (faults.split_data >= 0) data_left = std::min(data_left, static_cast<std::size_t>(faults.split_data));
    int out = 0;
    do {
        if (length - out < 2) break;
        buffer[out] = 0x01;
        buffer[out + 1] = 0x60;
        out += 2;
        const int room = std::min(kPacketData, length - out);
        const int n = static_cast<int>(std::min<std::size_t>(data_left, static_cast<std::size_t>(room)));
        for (int i = 0; i < n; ++i) {
            buffer[out + i] = queue_.front();
            queue_.pop_front();
        }
        out += n;
        data_left -= static_cast<std::size_t>(n);
        if (n < kPacketData) break;  // a short packet ends the transfer
    } while (data_left > 0 && length - out > 2);
    *transferred = out;
    return USB_SUCCESS;
}

uint64_t Bridge::in_hold_us(unsigned timeout_ms) const {
    if (!faults.in.empty() || !raw_transfers_.empty() || !hold_in_ || queue_.empty()) return 0;
    const uint64_t now = clock_.now_us();
    if (now >= ready_at_us_) return 0;
    const uint64_t wait = ready_at_us_ - now;
    return timeout_ms != 0 ? std::min<uint64_t>(wait, uint64_t{timeout_ms} * 1000u) : wait;
}

void Bridge::push_raw(const std::vector<uint8_t>& data) { queue_.insert(queue_.end(), data.begin(), data.end()); }

void Bridge::push_raw_transfer(const std::vector<uint8_t>& transfer) { raw_transfers_.push_back(transfer); }

void Bridge::set_baud(uint16_t value, uint16_t index) {
    baud_value_ = value;
    baud_index_ = index;
    baud_rate_ = decode_baud_divisor(value, index);
}

}  // namespace qv::sim
