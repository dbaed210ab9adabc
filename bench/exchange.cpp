// The host-side cost of one request/reply exchange: heap calls per exchange, counted here, and
// the loop that bench/exchange-cost.py runs under callgrind to count instructions.
//
// Three exchanges: a get (GetDisplayLuminance), a set (SetDisplayLuminance) and a raw
// RegUsbApi of a 32-byte get packet; each with logging off and on (the lines then go to
// /dev/null through the C stdout). Two buses:
//   canned     a trivial backend that answers every bulk IN at once with the same framed reply,
//              so that only the library's own work remains;
//   simulated  the simulated display, with its firmware model behind the bridge model.
// Every bus call goes through MeteredBus, which stops the heap count while the bus works (the
// simulated display allocates for its own bookkeeping), and whose bulk_transfer is where the
// instruction count is switched off (the bus is not the library).
//
//   bench_exchange                            every case, heap calls per exchange
//   bench_exchange CASE [ITERATIONS]          one case, e.g. canned:get:off (for callgrind)
//
// A program that measures; it asserts nothing. It exits non-zero when an exchange fails, so
// that no figure is ever taken from a failing path.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"
#include "quorvex.h"
#include "sim/one_display_bus.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

// ---- heap calls: malloc, calloc, realloc and free of the whole process pass through here.
// Under AddressSanitizer the sanitizer owns the heap, so nothing is counted there.
#if defined(__SANITIZE_ADDRESS__)
#define QVBENCH_COUNTS_HEAP 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVBENCH_COUNTS_HEAP 0
#endif
#endif
#ifndef QVBENCH_COUNTS_HEAP
#define QVBENCH_COUNTS_HEAP 1
#endif

namespace qvbench {
bool counting = false;
long heap_calls = 0;
}  // namespace qvbench

#if QVBENCH_COUNTS_HEAP
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) noexcept {
    if (qvbench::counting) ++qvbench::heap_calls;
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    if (qvbench::counting) ++qvbench::heap_calls;
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
    if (qvbench::counting) ++qvbench::heap_calls;
    return __libc_realloc(p, size);
}
void free(void* p) noexcept {
    if (qvbench::counting && p != nullptr) ++qvbench::heap_calls;
    __libc_free(p);
}
}  // extern "C"
#endif

namespace qvbench {

constexpr uint8_t kEndpointIn = 0x81;
constexpr int16_t kLuminance = 100;

// One framed 32-byte reply: the bridge's status bytes 01 60, then a settings reply with status
// 0 and the value 100 at bytes 7-8.
struct CannedReply {
    uint8_t bytes[34] = {0x01, 0x60, 8, 0, 0, 0, 0, 0, 0, kLuminance, 0};
};

// A bus with one display that takes every write and answers every read at once.
class CannedBus final : public qv::sim::OneDisplayBus {
public:
    int bulk_transfer(qv::UsbHandle*, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                      unsigned) override {
        if (endpoint != kEndpointIn) {
            *transferred = length;
            return 0;
        }
        const int n = length < static_cast<int>(sizeof reply_.bytes) ? length : static_cast<int>(sizeof reply_.bytes);
        for (int i = 0; i < n; ++i) data[i] = reply_.bytes[i];
        *transferred = n;
        return 0;
    }

private:
    CannedReply reply_;
};

// The heap count stands still while the bus works.
struct Paused {
    Paused() : was(counting) { counting = false; }
    ~Paused() { counting = was; }
    bool was;
};

// Passes every call to the bus it wraps, with the heap count paused.
class MeteredBus final : public qv::UsbBackend {
public:
    explicit MeteredBus(qv::UsbBackend& inner) : inner_(inner) {}

    int init() override {
        Paused p;
        return inner_.init();
    }
    ssize_t get_device_list(qv::UsbDevice*** list) override {
        Paused p;
        return inner_.get_device_list(list);
    }
    void free_device_list(qv::UsbDevice** list) override {
        Paused p;
        inner_.free_device_list(list);
    }
    int get_device_descriptor(qv::UsbDevice* dev, uint16_t* vendor, uint16_t* product) override {
        Paused p;
        return inner_.get_device_descriptor(dev, vendor, product);
    }
    uint8_t get_bus_number(qv::UsbDevice* dev) override { return inner_.get_bus_number(dev); }
    uint8_t get_device_address(qv::UsbDevice* dev) override { return inner_.get_device_address(dev); }
    int open(qv::UsbDevice* dev, qv::UsbHandle** handle) override {
        Paused p;
        return inner_.open(dev, handle);
    }
    void close(qv::UsbHandle* handle) override {
        Paused p;
        inner_.close(handle);
    }
    int kernel_driver_active(qv::UsbHandle* handle, int interface) override {
        Paused p;
        return inner_.kernel_driver_active(handle, interface);
    }
    int detach_kernel_driver(qv::UsbHandle* handle, int interface) override {
        Paused p;
        return inner_.detach_kernel_driver(handle, interface);
    }
    int claim_interface(qv::UsbHandle* handle, int interface) override {
        Paused p;
        return inner_.claim_interface(handle, interface);
    }
    int release_interface(qv::UsbHandle* handle, int interface) override {
        Paused p;
        return inner_.release_interface(handle, interface);
    }
    int control_transfer(qv::UsbHandle* handle, uint8_t request_type, uint8_t request, uint16_t value,
                         uint16_t index, uint8_t* data, uint16_t length, unsigned timeout_ms) override {
        Paused p;
        return inner_.control_transfer(handle, request_type, request, value, index, data, length, timeout_ms);
    }
    // bench/exchange-cost.py switches the instruction count off inside this function.
    int bulk_transfer(qv::UsbHandle* handle, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                      unsigned timeout_ms) override {
        Paused p;
        return inner_.bulk_transfer(handle, endpoint, data, length, transferred, timeout_ms);
    }

private:
    qv::UsbBackend& inner_;
};

enum class Op { get, set, raw };

struct Case {
    std::string bus;  // "canned" or "simulated"
    Op op;
    bool logging;
};

const char* op_name(Op op) {
    switch (op) {
        case Op::get: return "get";
        case Op::set: return "set";
        case Op::raw: return "raw";
    }
    return "?";
}

std::string case_name(const Case& c) {
    return c.bus + ":" + op_name(c.op) + ":" + (c.logging ? "on" : "off");
}

bool parse_case(const std::string& text, Case* c) {
    const auto a = text.find(':');
    const auto b = text.find(':', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos) return false;
    c->bus = text.substr(0, a);
    const std::string op = text.substr(a + 1, b - a - 1);
    const std::string log = text.substr(b + 1);
    if (c->bus != "canned" && c->bus != "simulated") return false;
    if (op == "get") c->op = Op::get;
    else if (op == "set") c->op = Op::set;
    else if (op == "raw") c->op = Op::raw;
    else return false;
    if (log != "on" && log != "off") return false;
    c->logging = log == "on";
    return true;
}

// The measured loop: callgrind's collection is switched on inside this function only. Returns
// the number of exchanges that did not succeed. The raw exchange rebuilds its request each time
// with plain stores (the reply overwrites it), so the loop itself calls nothing but the library.
__attribute__((noinline)) int measured_loop(Op op, int iterations) {
    int failures = 0;
    switch (op) {
        case Op::get:
            for (int i = 0; i < iterations; ++i) {
                int16_t value = 0;
                failures += GetDisplayLuminance(&value) != RC_OK || value != kLuminance;
            }
            break;
        case Op::set:
            for (int i = 0; i < iterations; ++i) failures += SetDisplayLuminance(kLuminance) != RC_OK;
            break;
        case Op::raw:
            for (int i = 0; i < iterations; ++i) {
                alignas(16) uint8_t packet[32];
                __builtin_memset(packet, 0, sizeof packet);
                packet[0] = 8;  // get: group 0, item 0 (luminance)
                failures += RegUsbApi(packet, sizeof packet) != RC_OK || packet[6] != 0;
            }
            break;
    }
    return failures;
}

struct Figures {
    double heap_calls;  // per exchange, -1 when not counted
    int failures;
};

// Connects to the bus of the case, warms up (the first printf allocates stdout's buffer, the
// first calls bind their symbols), then counts heap calls over the measured loop.
Figures run(const Case& c, int iterations) {
    qv::sim::VirtualClock clock;
    qv::install_clock(&clock);
    CannedBus canned;
    std::unique_ptr<qv::sim::SimBus> sim;
    qv::UsbBackend* inner = &canned;
    if (c.bus == "simulated") {
        sim = std::make_unique<qv::sim::SimBus>(std::vector<qv::sim::FirmwareConfig>{qv::sim::FirmwareConfig{}}, clock);
        inner = sim.get();
    }
    MeteredBus bus(*inner);
    qv::install_usb_backend(&bus);
    bus_num[0] = 1;
    dev_num[0] = 2;
    SetLog(c.logging ? 1 : 0);
    Figures f{-1.0, 0};
    if (Connect(0) != RC_OK) {
        f.failures = iterations;
    } else {
        if (c.bus == "simulated") sim->firmware(0).set_s16("luminance", kLuminance);
        f.failures = measured_loop(c.op, 16);
        heap_calls = 0;
        counting = true;
        f.failures += measured_loop(c.op, iterations);
        counting = false;
        if (QVBENCH_COUNTS_HEAP) f.heap_calls = static_cast<double>(heap_calls) / iterations;
    }
    SetLog(0);
    Disconnect();
    qv::install_usb_backend(nullptr);
    qv::install_clock(nullptr);
    return f;
}

}  // namespace qvbench

int main(int argc, char** argv) {
    using namespace qvbench;
    // The library writes to the C stdout; that goes to /dev/null, the figures to the real one.
    std::fflush(stdout);
    FILE* report = fdopen(dup(1), "w");
    const int null = open("/dev/null", O_WRONLY);
    if (report == nullptr || null < 0 || dup2(null, 1) < 0) {
        std::perror("bench_exchange");
        return 2;
    }
    close(null);

    std::vector<Case> cases;
    int iterations = 1000;
    if (argc >= 2) {
        Case c;
        if (!parse_case(argv[1], &c) || (argc >= 3 && (iterations = std::atoi(argv[2])) <= 0)) {
            std::fprintf(stderr, "usage: %s [canned|simulated:get|set|raw:off|on [iterations]]\n", argv[0]);
            return 2;
        }
        cases.push_back(c);
    } else {
        for (const char* bus : {"canned", "simulated"})
            for (Op op : {Op::get, Op::set, Op::raw})
                for (bool logging : {false, true}) cases.push_back({bus, op, logging});
    }

    int failed = 0;
    std::fprintf(report, "%-24s %16s\n", "case", "heap calls/exch");
    for (const Case& c : cases) {
        const Figures f = run(c, iterations);
        if (f.heap_calls < 0)
            std::fprintf(report, "%-24s %16s", case_name(c).c_str(), "not counted");
        else
            std::fprintf(report, "%-24s %16.3f", case_name(c).c_str(), f.heap_calls);
        if (f.failures != 0) std::fprintf(report, "   [%d exchanges FAILED]", f.failures);
        std::fputc('\n', report);
        failed += f.failures;
    }
    std::fclose(report);
    return failed == 0 ? 0 : 1;
}
