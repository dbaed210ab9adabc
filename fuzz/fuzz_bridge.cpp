// Status stripping of the serial bridge: arbitrary IN transfers (any length up to the 4096
// bytes a read asks for, any status bytes, several packets, a short last packet, failed
// transfers) reach read_data_logic and ReadPort through an installed backend. Neither may
// touch memory outside the caller's buffer or deliver more than asked, and read_data_logic's
// result and bytes must be those of the bridge's framing rule, worked out here independently.
//
// Input: a u16 size wanted, a mode byte (even: read_data_logic, odd: ReadPort), then the
// transfers, each a header byte (top two bits: 0 raw bytes, 1 a failed transfer carrying raw
// bytes, 2 no bytes at all, 3 bridge-framed data) and for kinds 0, 1 and 3 a u16 length and
// that many bytes.
#include <algorithm>
#include <deque>

#include "fuzz_support.h"

namespace {

using qvfuzz::Input;

struct Transfer {
    std::vector<uint8_t> bytes;
    int error = 0;
};

std::deque<Transfer> read_transfers(Input& in) {
    std::deque<Transfer> out;
    while (!in.empty() && out.size() < 8) {
        const uint8_t header = in.byte();
        Transfer t;
        switch (header >> 6) {
            case 0: t.bytes = in.bytes(in.u16() % 4097u); break;
            case 1:
                t.error = qvfuzz::usb_error(header);
                t.bytes = in.bytes(in.u16() % 4097u);
                break;
            case 2: break;
            default: t.bytes = qvfuzz::framed(in.bytes(in.u16() % 4033u)); break;
        }
        if (t.bytes.size() > 4096) t.bytes.resize(4096);
        out.push_back(std::move(t));
    }
    return out;
}

// The bridge's framing rule over a copy of the transfers: what read_data_logic must return and
// deliver. The scratch buffer lives for the whole call, as the library's does.
int expected_read(std::deque<Transfer> transfers, int size, std::vector<uint8_t>* delivered) {
    if (size == 0) return 0;
    std::vector<uint8_t> scratch(4096, 0);
    bool retried = false;
    int previous_length = 1;
    while (previous_length > 0) {
        Transfer t;
        if (!transfers.empty()) {
            t = transfers.front();
            transfers.pop_front();
        } else {
            t.bytes = {0x01, 0x60};
        }
        std::copy(t.bytes.begin(), t.bytes.end(), scratch.begin());
        const int length = static_cast<int>(t.bytes.size());
        previous_length = length;
        if (!(scratch[0] == 0x01 && (scratch[1] == 0x60 || scratch[1] == 0x00))) {
            if (retried) return -1;
            retried = true;
            continue;
        }
        if (t.error < 0) return t.error;
        if (length <= 2) return 0;
        std::vector<uint8_t> data;
        for (int packet = 0; packet * 64 < length; ++packet) {
            const int from = packet * 64 + 2;
            const int to = std::min(packet * 64 + 64, length);
            if (from < to) data.insert(data.end(), scratch.begin() + from, scratch.begin() + to);
        }
        const int n = std::min(static_cast<int>(data.size()), size);
        delivered->assign(data.begin(), data.begin() + n);
        return n;
    }
    return -127;
}

bool next_transfer(void* context, std::vector<uint8_t>* bytes, int* error) {
    auto& transfers = *static_cast<std::deque<Transfer>*>(context);
    if (transfers.empty()) return false;
    *bytes = std::move(transfers.front().bytes);
    *error = transfers.front().error;
    transfers.pop_front();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    qvfuzz::ScriptedBus& bus = qvfuzz::start_library();
    qvfuzz::connected(2);
    LogMessage = 0;
    Input in(data, size);
    const int wanted = in.u16() % 5000;
    const bool through_read_port = (in.byte() & 1) != 0;
    const std::deque<Transfer> transfers = read_transfers(in);
    std::deque<Transfer> script = transfers;
    bus.script(next_transfer, &script);

    qvfuzz::Guarded buffer(static_cast<std::size_t>(wanted));
    if (!through_read_port) {
        const int got = read_data_logic(buffer.data(), wanted, 10000);
        buffer.check("read_data_logic");
        std::vector<uint8_t> expected;
        const int want = expected_read(transfers, wanted, &expected);
        QV_FUZZ_CHECK(got == want, "read_data_logic gave %d, the framing rule %d", got, want);
        QV_FUZZ_CHECK(got <= wanted, "delivered %d of %d asked", got, wanted);
        if (got > 0) {
            QV_FUZZ_CHECK(std::equal(expected.begin(), expected.end(), buffer.data()), "delivered other bytes");
            for (int i = got; i < wanted; ++i)
                QV_FUZZ_CHECK(buffer.data()[i] == qvfuzz::Guarded::kPattern, "wrote byte %d past the %d delivered", i, got);
        }
    } else {
        uint16_t count = static_cast<uint16_t>(wanted);
        const int rc = ReadPort(buffer.data(), &count, 5000);
        buffer.check("ReadPort");
        QV_FUZZ_CHECK(rc == 0 || rc == RC_FAILED || rc == RC_INVALID_ARGUMENT, "ReadPort gave %d", rc);
        if (rc == 0) QV_FUZZ_CHECK(count >= 1 && count <= wanted, "ReadPort delivered %d of %d", count, wanted);
    }
    bus.script(nullptr, nullptr);
    return 0;
}
