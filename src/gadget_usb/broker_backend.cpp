// The displays as a broker lends them: a client of quorvexd's io.quorvex.Link interface over a
// Unix socket, behind the same USB interface as libusb.
//
// The backend lives in its host's process, so it keeps to itself: no threads, no allocation
// after start-up (every message is built and read in buffers of its own), the socket
// close-on-exec and above descriptor 2, writes that never raise SIGPIPE, interrupted calls
// retried. When the broker goes away, every call fails as it does for a display pulled out
// (LIBUSB_ERROR_NO_DEVICE) and the next Scan connects again.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "gadget_usb/bridge_framing.h"
#include "gadget_usb/clock.h"
#include "gadget_usb/link_wire.h"
#include "gadget_usb/usb_backend.h"

namespace qv {
namespace {

constexpr int kMaxDevices = 256;
constexpr int kDeviceLists = 4;  // a Scan's list and the list of the Connect inside it, and room
constexpr int kMaxHandles = 8;
constexpr std::size_t kMaxTransfer = kInTransferSize;
constexpr std::size_t kOutSize = 2 * link::base64_size(kMaxTransfer) + 512;

// ---- a reader of the broker's replies, in place and without allocation

struct Cursor {
    const char* p;
    const char* end;

    void blanks() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    }
    bool take(char c) {
        blanks();
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    // A string's raw text (escapes left as they are; the broker's strings need none).
    bool string(std::string_view* out) {
        if (!take('"')) return false;
        const char* start = p;
        while (p < end && *p != '"') p += *p == '\\' ? 2 : 1;
        if (p >= end) return false;
        *out = std::string_view(start, static_cast<std::size_t>(p - start));
        ++p;
        return true;
    }
    bool integer(long* out) {
        blanks();
        bool negative = false;
        if (p < end && *p == '-') {
            negative = true;
            ++p;
        }
        if (p >= end || *p < '0' || *p > '9') return false;
        long v = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (v > 100000000000L) return false;
            v = v * 10 + (*p++ - '0');
        }
        *out = negative ? -v : v;
        return true;
    }
    bool word(const char* w) {
        blanks();
        const std::size_t n = std::strlen(w);
        if (static_cast<std::size_t>(end - p) < n || std::memcmp(p, w, n) != 0) return false;
        p += n;
        return true;
    }
    bool boolean(bool* out) {
        if (word("true")) return *out = true, true;
        if (word("false")) return *out = false, true;
        return false;
    }
    // Reads an object, handing each member's key to `member`, which reads (or skips) its value.
    template <class Member>
    bool members(Member member) {
        if (!take('{')) return false;
        if (take('}')) return true;
        do {
            std::string_view key;
            if (!string(&key) || !take(':') || !member(key)) return false;
        } while (take(','));
        return take('}');
    }
    // Skips any value, nested ones included (bounded depth).
    bool skip(int depth = 0) {
        blanks();
        if (p >= end || depth > 32) return false;
        std::string_view s;
        long n = 0;
        bool b = false;
        if (*p == '"') return string(&s);
        if (*p == '{' || *p == '[') {
            const char close = *p == '{' ? '}' : ']';
            const bool object = *p == '{';
            ++p;
            if (take(close)) return true;
            do {
                if (object && !(string(&s) && take(':'))) return false;
                if (!skip(depth + 1)) return false;
            } while (take(','));
            return take(close);
        }
        if (word("null")) return true;
        if (boolean(&b)) return true;
        if (!integer(&n)) return false;
        // A fraction or exponent is not expected, but is no reason to fail.
        while (p < end && (*p == '.' || *p == 'e' || *p == 'E' || *p == '+' || *p == '-' || (*p >= '0' && *p <= '9'))) ++p;
        return true;
    }
};

struct Device {
    long descriptor = 0, vendor = 0, product = 0, bus = 0, address = 0;
};

struct Reply {
    bool continues = false;
    std::string_view error;
    long result = 0, transferred = 0, handle = -1, version = 0, served = 0;
    bool virtual_clock = false;
    bool has_data = false;
    std::string_view data;
    Device* devices = nullptr;  // where a device list goes (room for kMaxDevices)
    int device_count = -1;
};

bool read_device(Cursor& c, Device* d) {
    return c.members([&](std::string_view key) {
        long* field = key == "descriptor" ? &d->descriptor
                      : key == "vendor"   ? &d->vendor
                      : key == "product"  ? &d->product
                      : key == "bus"      ? &d->bus
                      : key == "address"  ? &d->address
                                          : nullptr;
        return field != nullptr ? c.integer(field) : c.skip();
    });
}

bool read_parameters(Cursor& c, Reply* r) {
    return c.members([&](std::string_view key) {
        if (key == "result") return c.integer(&r->result);
        if (key == "transferred") return c.integer(&r->transferred);
        if (key == "handle") return c.integer(&r->handle);
        if (key == "version") return c.integer(&r->version);
        if (key == "served") return c.integer(&r->served);
        if (key == "virtualClock") return c.boolean(&r->virtual_clock);
        if (key == "data" && !c.word("null")) return r->has_data = c.string(&r->data);
        if (key != "devices" || r->devices == nullptr) return c.skip();
        r->device_count = 0;
        if (!c.take('[')) return false;
        if (c.take(']')) return true;
        do {
            Device scratch;
            Device* d = r->device_count < kMaxDevices ? &r->devices[r->device_count] : &scratch;
            *d = Device{};
            if (!read_device(c, d)) return false;
            if (r->device_count < kMaxDevices) ++r->device_count;
        } while (c.take(','));
        return c.take(']');
    });
}

bool read_reply(std::string_view text, Reply* r) {
    Cursor c{text.data(), text.data() + text.size()};
    return c.members([&](std::string_view key) {
        if (key == "parameters") return read_parameters(c, r);
        if (key == "continues") return c.boolean(&r->continues);
        if (key == "error") return c.string(&r->error);
        return c.skip();
    });
}

// ---- the client's clock when the broker's simulated displays run on a virtual clock: pauses
// return at once and are handed to the broker with the next call.

class LentClock final : public Clock {
public:
    void sleep_us(uint64_t microseconds) override {
        pending_ += microseconds;
        now_ += microseconds;
    }
    uint64_t now_us() override { return now_; }
    uint64_t take_pending() {
        const uint64_t p = pending_;
        pending_ = 0;
        return p;
    }

private:
    uint64_t pending_ = 0;
    uint64_t now_ = 0;
};

class BrokerBackend final : public UsbBackend {
public:
    // *answered tells whether a broker took the connection (it may still refuse the session).
    bool attach(const char* path, const char** error, bool* answered) {
        *answered = false;
        if (fd_ >= 0 && std::strcmp(path, path_) == 0 && alive()) return *answered = true;
        drop();
        if (std::strlen(path) >= sizeof path_) {
            *error = "the socket's path is too long";
            return false;
        }
        std::strcpy(path_, path);
        if (!connect_socket(error)) return false;
        *answered = true;
        ++session_;
        Reply r;
        // A program started under a lock holder's lock presents its token: its changes are then
        // the holder's.
        const char* lock = std::getenv(link::kLockVariable);
        if (lock != nullptr && lock[0] == '\0') lock = nullptr;
        if (lock != nullptr && !link::lock_token(lock)) {
            *error = "QUORVEX_LOCK is not a lock token";
            drop();
            return false;
        }
        const int n = std::snprintf(out_, sizeof out_,
                                    "{\"method\":\"" QV_LINK_INTERFACE ".Hello\",\"parameters\":{\"version\":%d%s%s%s}}",
                                    link::kVersion, lock ? ",\"lock\":\"" : "", lock ? lock : "", lock ? "\"" : "");
        if (!call(static_cast<std::size_t>(n), &r)) {
            *error = "the broker did not answer";
            return false;
        }
        if (!r.error.empty()) {
            if (r.error == QV_LINK_INTERFACE ".VersionMismatch") {
                std::snprintf(error_text_, sizeof error_text_,
                              "the broker speaks version %ld of " QV_LINK_INTERFACE ", this library version %d",
                              r.served, link::kVersion);
                *error = error_text_;
            } else if (r.error == QV_LINK_INTERFACE ".NoSuchLock") {
                *error = "the lock in QUORVEX_LOCK is not held: it has ended, or the token is wrong";
            } else {
                *error = "the broker refused the session";
            }
            drop();
            return false;
        }
        if (r.virtual_clock) {
            if (&clock() == &real_clock()) install_clock(&clock_);
        } else if (&clock() == &clock_) {
            install_clock(nullptr);
        }
        return true;
    }

    // The clock this backend installed, if it is in use.
    bool owns_clock() { return &clock() == &clock_; }

    int init() override { return fd_ >= 0 ? USB_SUCCESS : USB_ERROR_NO_DEVICE; }

    ssize_t get_device_list(UsbDevice*** list) override {
        *list = nullptr;
        int slot = 0;
        while (slot < kDeviceLists && lists_[slot].used) ++slot;
        if (slot == kDeviceLists) return USB_ERROR_NO_MEM;
        DeviceList& dl = lists_[slot];
        Reply r;
        r.devices = dl.devices;
        const int n = std::snprintf(out_, sizeof out_, "{\"method\":\"" QV_LINK_INTERFACE ".Devices\"}");
        if (!call(static_cast<std::size_t>(n), &r) || !r.error.empty() || r.device_count < 0)
            return USB_ERROR_NO_DEVICE;
        for (int i = 0; i < r.device_count; ++i) dl.pointers[i] = reinterpret_cast<UsbDevice*>(&dl.devices[i]);
        dl.pointers[r.device_count] = nullptr;
        dl.used = true;
        *list = dl.pointers;
        return r.device_count;
    }

    void free_device_list(UsbDevice** list) override {
        for (DeviceList& dl : lists_)
            if (dl.pointers == list) dl.used = false;
    }

    int get_device_descriptor(UsbDevice* d, uint16_t* vendor, uint16_t* product) override {
        const Device& dev = *reinterpret_cast<Device*>(d);
        if (dev.descriptor != 0) return static_cast<int>(dev.descriptor);
        *vendor = static_cast<uint16_t>(dev.vendor);
        *product = static_cast<uint16_t>(dev.product);
        return USB_SUCCESS;
    }
    uint8_t get_bus_number(UsbDevice* d) override { return static_cast<uint8_t>(reinterpret_cast<Device*>(d)->bus); }
    uint8_t get_device_address(UsbDevice* d) override {
        return static_cast<uint8_t>(reinterpret_cast<Device*>(d)->address);
    }

    int open(UsbDevice* d, UsbHandle** handle) override {
        *handle = nullptr;
        const Device& dev = *reinterpret_cast<Device*>(d);
        Handle* slot = nullptr;
        for (Handle& h : handles_)
            if (!h.used) slot = &h;
        if (slot == nullptr) return USB_ERROR_NO_MEM;
        Reply r;
        const int n = std::snprintf(out_, sizeof out_,
                                    "{\"method\":\"" QV_LINK_INTERFACE ".Open\",\"parameters\":{\"bus\":%ld,\"address\":%ld}}",
                                    dev.bus, dev.address);
        if (!call(static_cast<std::size_t>(n), &r) || !r.error.empty()) return USB_ERROR_NO_DEVICE;
        if (r.result != 0) return static_cast<int>(r.result);
        *slot = Handle{true, r.handle, session_};
        *handle = reinterpret_cast<UsbHandle*>(slot);
        return USB_SUCCESS;
    }

    void close(UsbHandle* h) override {
        Handle* handle = reinterpret_cast<Handle*>(h);
        if (handle == nullptr || !handle->used) return;
        if (current(handle)) {
            Reply r;
            simple(handle, "Close", &r);
        }
        handle->used = false;
    }

    int kernel_driver_active(UsbHandle* h, int interface) override { return handle_call(h, "KernelDriverActive", interface); }
    int detach_kernel_driver(UsbHandle* h, int interface) override { return handle_call(h, "DetachKernelDriver", interface); }
    int claim_interface(UsbHandle* h, int interface) override { return handle_call(h, "Claim", interface); }
    int release_interface(UsbHandle* h, int interface) override { return handle_call(h, "Release", interface); }

    int control_transfer(UsbHandle* h, uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                         uint8_t* data, uint16_t length, unsigned timeout_ms) override {
        Handle* handle = reinterpret_cast<Handle*>(h);
        if (!current(handle)) return USB_ERROR_NO_DEVICE;
        const bool in = (request_type & 0x80) != 0;
        if (length > kMaxTransfer || (length > 0 && data == nullptr)) return USB_ERROR_INVALID_PARAM;
        settle();
        int n = std::snprintf(out_, sizeof out_,
                              "{\"method\":\"" QV_LINK_INTERFACE ".Control\",\"parameters\":{\"handle\":%ld,"
                              "\"requestType\":%u,\"request\":%u,\"value\":%u,\"index\":%u,\"length\":%u,"
                              "\"timeout\":%u%s",
                              handle->id, request_type, request, value, index, length, timeout_ms,
                              !in && length > 0 ? ",\"data\":\"" : "");
        std::size_t size = static_cast<std::size_t>(n);
        if (!in && length > 0) {
            size += link::base64_encode(data, length, out_ + size);
            out_[size++] = '"';
        }
        size = add_pause_and_close(size, false);
        Reply r;
        if (!call(size, &r) || !r.error.empty()) return USB_ERROR_NO_DEVICE;
        if (in && r.has_data && r.result >= 0) {
            const long got = link::base64_decode(r.data.data(), r.data.size(), data, length);
            if (got < 0) return USB_ERROR_OTHER;
        }
        return static_cast<int>(r.result);
    }

    int bulk_transfer(UsbHandle* h, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                      unsigned timeout_ms) override {
        *transferred = 0;
        Handle* handle = reinterpret_cast<Handle*>(h);
        if (!current(handle)) return USB_ERROR_NO_DEVICE;
        const bool in = (endpoint & 0x80) != 0;
        if (length < 0 || static_cast<std::size_t>(length) > kMaxTransfer || (length > 0 && data == nullptr))
            return USB_ERROR_INVALID_PARAM;
        Reply r;
        if (in && pushed_ && pushed_handle_ == handle && pushed_timeout_ == timeout_ms && length == kInTransferSize) {
            // The broker started this read as soon as the write was done; its result follows.
            pushed_ = false;
            if (!receive(&r) || !r.error.empty()) return USB_ERROR_NO_DEVICE;
        } else {
            settle();
            int n = std::snprintf(out_, sizeof out_,
                                  "{\"method\":\"" QV_LINK_INTERFACE ".Transfer\",\"parameters\":{\"handle\":%ld,"
                                  "\"endpoint\":%u,\"length\":%d,\"timeout\":%u%s",
                                  handle->id, endpoint, length, timeout_ms, !in ? ",\"data\":\"" : "");
            std::size_t size = static_cast<std::size_t>(n);
            if (!in) {
                size += link::base64_encode(data, static_cast<std::size_t>(length), out_ + size);
                out_[size++] = '"';
            }
            const bool read_ahead = !in && exchange_handle_ == handle && !exchange_wrote_;
            if (read_ahead) {
                n = std::snprintf(out_ + size, sizeof out_ - size, ",\"readAhead\":%u", exchange_read_timeout_);
                size += static_cast<std::size_t>(n);
            }
            size = add_pause_and_close(size, read_ahead);
            if (!call(size, &r) || !r.error.empty()) return USB_ERROR_NO_DEVICE;
            if (read_ahead && r.continues) {
                pushed_ = true;
                pushed_handle_ = handle;
                pushed_timeout_ = exchange_read_timeout_;
            }
        }
        if (in) {
            if (r.has_data) {
                const long got = link::base64_decode(r.data.data(), r.data.size(), data, static_cast<std::size_t>(length));
                if (got < 0) return USB_ERROR_OTHER;
            }
            *transferred = static_cast<int>(r.transferred);
            if (exchange_handle_ == handle && brings_data(static_cast<int>(r.result), data, *transferred))
                exchange_answered_ = true;
        } else {
            *transferred = static_cast<int>(r.transferred);
            if (exchange_handle_ == handle) exchange_wrote_ = r.result == 0;
        }
        return static_cast<int>(r.result);
    }

    void begin_exchange(UsbHandle* h, unsigned read_timeout_ms) override {
        exchange_handle_ = reinterpret_cast<Handle*>(h);
        exchange_read_timeout_ = read_timeout_ms;
        exchange_wrote_ = false;
        exchange_answered_ = false;
    }

    void end_exchange(UsbHandle* h) override {
        Handle* handle = reinterpret_cast<Handle*>(h);
        settle();
        // An exchange whose write went out and whose reads brought nothing: the broker is told it
        // is over (a call without a reply).
        if (handle != nullptr && handle == exchange_handle_ && exchange_wrote_ && !exchange_answered_ && current(handle)) {
            const int n = std::snprintf(out_, sizeof out_,
                                        "{\"method\":\"" QV_LINK_INTERFACE ".End\",\"parameters\":{\"handle\":%ld},\"oneway\":true}",
                                        handle->id);
            send(static_cast<std::size_t>(n) + 1);
        }
        exchange_handle_ = nullptr;
    }

private:
    struct Handle {
        bool used = false;
        long id = 0;
        unsigned session = 0;
    };
    struct DeviceList {
        bool used = false;
        Device devices[kMaxDevices];
        UsbDevice* pointers[kMaxDevices + 1];
    };

    bool current(Handle* h) const { return h != nullptr && h->used && h->session == session_ && fd_ >= 0; }

    bool alive() {
        pollfd p{fd_, POLLIN, 0};
        int rc;
        do rc = poll(&p, 1, 0);
        while (rc < 0 && errno == EINTR);
        // The broker never speaks unasked: anything to read now is its going away.
        return rc == 0 && !pushed_;
    }

    bool connect_socket(const char** error) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            *error = std::strerror(errno);
            return false;
        }
        if (fd <= 2) {
            // Descriptors 0 to 2 belong to the host's standard streams, even when it closed them.
            const int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            if (high < 0) {
                *error = std::strerror(errno);
                return false;
            }
            fd = high;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path_);
        int rc;
        do rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        while (rc < 0 && errno == EINTR);
        if (rc < 0) {
            *error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        fd_ = fd;
        in_start_ = in_used_ = 0;
        pushed_ = false;
        exchange_handle_ = nullptr;
        return true;
    }

    void drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        pushed_ = false;
        exchange_handle_ = nullptr;
    }

    // A pushed result the caller did not ask for (a read that did not follow): read and dropped.
    void settle() {
        if (!pushed_) return;
        pushed_ = false;
        Reply r;
        receive(&r);
    }

    std::size_t add_pause_and_close(std::size_t size, bool more) {
        const uint64_t paused = owns_clock() ? clock_.take_pending() : 0;
        int n = 0;
        if (paused > 0) n = std::snprintf(out_ + size, sizeof out_ - size, ",\"paused\":%" PRIu64, paused);
        size += static_cast<std::size_t>(n);
        n = std::snprintf(out_ + size, sizeof out_ - size, more ? "},\"more\":true}" : "}}");
        return size + static_cast<std::size_t>(n);
    }

    int handle_call(UsbHandle* h, const char* method, int interface) {
        Handle* handle = reinterpret_cast<Handle*>(h);
        if (!current(handle)) return USB_ERROR_NO_DEVICE;
        settle();
        Reply r;
        const int n = std::snprintf(out_, sizeof out_,
                                    "{\"method\":\"" QV_LINK_INTERFACE ".%s\",\"parameters\":{\"handle\":%ld,\"interface\":%d}}",
                                    method, handle->id, interface);
        if (!call(static_cast<std::size_t>(n), &r) || !r.error.empty()) return USB_ERROR_NO_DEVICE;
        return static_cast<int>(r.result);
    }

    bool simple(Handle* handle, const char* method, Reply* r) {
        settle();
        const int n = std::snprintf(out_, sizeof out_,
                                    "{\"method\":\"" QV_LINK_INTERFACE ".%s\",\"parameters\":{\"handle\":%ld}}", method,
                                    handle->id);
        return call(static_cast<std::size_t>(n), r);
    }

    // Sends the message in out_ (its terminating NUL added) and reads the reply.
    bool call(std::size_t size, Reply* r) {
        if (size + 1 > sizeof out_) return false;
        out_[size] = '\0';
        return send(size + 1) && receive(r);
    }

    bool send(std::size_t size) {
        if (fd_ < 0) return false;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(fd_, out_ + done, size - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                drop();
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool receive(Reply* r) {
        if (fd_ < 0) return false;
        // The previous message is consumed now.
        if (in_start_ > 0) {
            std::memmove(in_, in_ + in_start_, in_used_ - in_start_);
            in_used_ -= in_start_;
            in_start_ = 0;
        }
        std::size_t scanned = 0;
        for (;;) {
            if (const void* nul = std::memchr(in_ + scanned, '\0', in_used_ - scanned)) {
                const auto length = static_cast<std::size_t>(static_cast<const char*>(nul) - in_);
                in_start_ = length + 1;
                if (!read_reply(std::string_view(in_, length), r)) {
                    drop();
                    return false;
                }
                return true;
            }
            scanned = in_used_;
            if (in_used_ == sizeof in_) {
                drop();  // a message larger than any the broker sends
                return false;
            }
            const ssize_t n = ::recv(fd_, in_ + in_used_, sizeof in_ - in_used_, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                drop();
                return false;
            }
            in_used_ += static_cast<std::size_t>(n);
        }
    }

    int fd_ = -1;
    unsigned session_ = 0;
    char path_[sizeof(sockaddr_un::sun_path)] = {};
    char error_text_[160] = {};
    char out_[kOutSize] = {};
    char in_[link::kMaxMessage] = {};
    std::size_t in_start_ = 0, in_used_ = 0;
    DeviceList lists_[kDeviceLists];
    Handle handles_[kMaxHandles];
    LentClock clock_;
    // The exchange in progress and the read the broker started for it.
    Handle* exchange_handle_ = nullptr;
    unsigned exchange_read_timeout_ = 0;
    bool exchange_wrote_ = false, exchange_answered_ = false;
    bool pushed_ = false;
    Handle* pushed_handle_ = nullptr;
    unsigned pushed_timeout_ = 0;
};

// Built in static storage and never destroyed, like the libusb backend: a host may call the
// library from its exit handlers.
BrokerBackend& instance() {
    alignas(BrokerBackend) static unsigned char storage[sizeof(BrokerBackend)];
    static BrokerBackend* const backend = new (storage) BrokerBackend;
    return *backend;
}

}  // namespace

void broker_clock_release() {
    if (instance().owns_clock()) install_clock(nullptr);
}

UsbBackend* broker_backend(const char* path, const char** error, bool* answered) {
    BrokerBackend& b = instance();
    return b.attach(path, error, answered) ? &b : nullptr;
}

}  // namespace qv
