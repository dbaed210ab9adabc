// The display's USB-to-serial bridge as the host sees it.
//
// Bytes written to the bulk OUT endpoint go to the firmware as one request; the reply waits in
// the bridge's IN queue, which lives across reads (a reply split over transfers leaves its tail
// for the next read). Every IN transfer is framed in 64-byte packets that each start with the
// two status bytes 0x01 0x60; when nothing is pending, a read gets the two status bytes alone.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "gadget_usb/clock.h"

namespace qv::sim {

class Firmware;

// One bulk IN read that goes wrong, consumed in order by the next reads.
struct InFault {
    enum class Kind {
        error_with_status,  // libusb error, the buffer starts with valid status bytes
        error_no_status,    // libusb error, nothing received
        wrong_status,       // a transfer whose status bytes are not 0x01 0x60/0x00
    };
    Kind kind;
    int error = -1;  // libusb code for the error kinds
};

struct BridgeFaults {
    std::deque<InFault> in;        // one-shot faults for the next IN reads
    bool no_reply = false;         // the firmware's replies never arrive (status bytes only)
    int truncate_reply = -1;       // replies cut to this many bytes (>= 0)
    int extra_reply_bytes = 0;     // replies carry this many bytes more than the request
    int split_data = -1;           // each IN transfer carries at most this many data bytes
    int write_error = 0;           // the next bulk OUT fails with this code (then clears)
    int short_write = -1;          // bulk OUT reports this many bytes transferred (>= 0)
};

class Bridge {
public:
    Bridge(Firmware& firmware, Clock& clock) : firmware_(firmware), clock_(clock) {}

    int bulk_out(const uint8_t* data, int length, int* transferred);
    int bulk_in(uint8_t* buffer, int length, int* transferred, unsigned timeout_ms);
    // How long an IN transfer with this timeout would wait now for a reply that holds it.
    uint64_t in_hold_us(unsigned timeout_ms) const;

    // Bytes for the host that arrive without a request (e.g. left over from earlier).
    void push_raw(const std::vector<uint8_t>& data);
    // Raw bytes returned as is by the next IN read, status bytes and all (for framing tests).
    void push_raw_transfer(const std::vector<uint8_t>& transfer);
    std::size_t pending() const { return queue_.size(); }
    void clear() { queue_.clear(); raw_transfers_.clear(); }

    void set_baud(uint16_t value, uint16_t index);
    int baud_rate() const { return baud_rate_; }
    uint16_t baud_value() const { return baud_value_; }
    uint16_t baud_index() const { return baud_index_; }

    BridgeFaults faults;

private:
    Firmware& firmware_;
    Clock& clock_;
    std::deque<uint8_t> queue_;
    std::deque<std::vector<uint8_t>> raw_transfers_;
    uint64_t ready_at_us_ = 0;
    bool hold_in_ = false;  // an IN transfer waits for the pending reply
    int baud_rate_ = 0;
    uint16_t baud_value_ = 0;
    uint16_t baud_index_ = 0;
};

}  // namespace qv::sim
