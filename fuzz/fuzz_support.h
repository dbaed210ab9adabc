// What the fuzz targets share: a reader over the fuzzer's bytes, caller buffers with guard
// bytes around them, and a USB backend that plays a display whose every IN transfer comes from
// those bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"
#include "sim/one_display_bus.h"
#include "quorvex.h"
#include "sim/virtual_clock.h"

namespace qvfuzz {

// A property the library must keep: abort (the fuzzer keeps the input) when it does not.
#define QV_FUZZ_CHECK(condition, ...)                                                   \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed: %s: ", #condition);                     \
            std::fprintf(stderr, __VA_ARGS__);                                          \
            std::fprintf(stderr, "\n");                                                 \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// The fuzzer's bytes, taken from the front; zeros once they run out.
class Input {
public:
    Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::size_t left() const { return empty() ? 0 : size_ - at_; }
    uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
    // Up to n bytes (fewer when the input runs out).
    std::vector<uint8_t> bytes(std::size_t n) {
        const std::size_t k = n < left() ? n : left();
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + k);
        at_ += k;
        return out;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A caller's buffer of exactly `size` bytes between guard bytes; check() aborts when anything
// was written outside it.
class Guarded {
public:
    static constexpr std::size_t kGuard = 64;
    static constexpr uint8_t kPattern = 0xA5;
    explicit Guarded(std::size_t size) : size_(size), bytes_(size + 2 * kGuard, kPattern) {}
    uint8_t* data() { return bytes_.data() + kGuard; }
    template <class T>
    T* as() { return reinterpret_cast<T*>(data()); }
    std::size_t size() const { return size_; }
    void check(const char* what) const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            QV_FUZZ_CHECK(bytes_[i] == kPattern, "%s wrote %zu bytes before its buffer", what, kGuard - i);
            QV_FUZZ_CHECK(bytes_[kGuard + size_ + i] == kPattern, "%s wrote past its %zu-byte buffer", what, size_);
        }
    }
    // A NUL within the buffer (a text the caller may print).
    bool terminated() const { return std::memchr(bytes_.data() + kGuard, 0, size_) != nullptr; }

private:
    std::size_t size_;
    std::vector<uint8_t> bytes_;
};

// One IN transfer as the bridge would deliver it: bridge packets of 64 bytes, each opening with
// the status bytes 0x01 0x60, around `data`.
inline std::vector<uint8_t> framed(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    std::size_t at = 0;
    do {
        out.push_back(0x01);
        out.push_back(0x60);
        const std::size_t n = data.size() - at < 62 ? data.size() - at : 62;
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < data.size());
    return out;
}

// A bus with one display whose replies the fuzzer writes. Every bulk OUT succeeds; every bulk
// IN takes its bytes and libusb result from the target's source; once the source has nothing
// more (it returns false) every IN transfer brings the status bytes alone, as the bridge sends
// when it has nothing.
class ScriptedBus final : public qv::sim::OneDisplayBus {
public:
    using Source = bool (*)(void* context, std::vector<uint8_t>* bytes, int* error);
    void script(Source source, void* context) {
        source_ = source;
        context_ = context;
    }

    int bulk_transfer(qv::UsbHandle*, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                      unsigned) override {
        *transferred = 0;
        if (endpoint != 0x81) {
            *transferred = length;
            return 0;
        }
        int error = 0;
        std::vector<uint8_t> answer;
        if (source_ == nullptr || !source_(context_, &answer, &error)) answer = {0x01, 0x60};
        const std::size_t n = answer.size() < static_cast<std::size_t>(length) ? answer.size()
                                                                               : static_cast<std::size_t>(length);
        if (n > 0) std::memcpy(data, answer.data(), n);
        *transferred = static_cast<int>(n);
        return error;
    }

private:
    Source source_ = nullptr;
    void* context_ = nullptr;
};

// libusb's error codes, for transfers that fail.
inline int usb_error(uint8_t pick) {
    static constexpr int kErrors[] = {qv::USB_ERROR_IO,      qv::USB_ERROR_NO_DEVICE, qv::USB_ERROR_TIMEOUT,
                                      qv::USB_ERROR_PIPE,    qv::USB_ERROR_OVERFLOW,  qv::USB_ERROR_BUSY,
                                      qv::USB_ERROR_NO_MEM,  qv::USB_ERROR_OTHER};
    return kErrors[pick % (sizeof kErrors / sizeof kErrors[0])];
}

// A ScriptedBus source reading replies from the fuzzer's input: per reply a header byte whose
// top two bits pick a framed reply of the next bytes (0), raw bytes as the bridge delivers
// them (1), a failed transfer with the status bytes (2) or the status bytes alone (3).
inline bool next_reply(void* context, std::vector<uint8_t>* bytes, int* error) {
    Input& in = *static_cast<Input*>(context);
    if (in.empty()) return false;
    const uint8_t header = in.byte();
    switch (header >> 6) {
        case 0: *bytes = framed(in.bytes(in.byte())); break;
        case 1: *bytes = in.bytes(in.byte()); break;
        case 2:
            *bytes = {0x01, 0x60};
            *error = usb_error(header);
            break;
        default: *bytes = {0x01, 0x60}; break;
    }
    return true;
}

// The library as the targets find it before every input: the scripted bus and the virtual
// clock installed, stdout gone (the library's lines), a display connected.
inline ScriptedBus& start_library() {
    static ScriptedBus bus;
    static qv::sim::VirtualClock clock;
    static bool once = [] {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
        qv::install_clock(&clock);
        return true;
    }();
    static_cast<void>(once);
    qv::install_usb_backend(&bus);
    clock.clear_pauses();
    return bus;
}

// The connection globals of a connected display.
inline void connected(uint8_t monitor_type) {
    static int handle = 0;
    ConnectFlag = 1;
    g_glimmetHandle = reinterpret_cast<libusb_device_handle*>(&handle);
    m_claimed_interface = 1;
    gu8MonitorType = monitor_type;
    baudrate = 115200;
}

// The result codes of the header.
inline bool documented_result(int rc) { return rc <= RC_OK && rc >= RC_USB_UNAVAILABLE; }

}  // namespace qvfuzz
