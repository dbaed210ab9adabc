// The production USB backend: libusb-1.0's default context. This is the only file of the
// library that names libusb.
//
// Every Scan initialises the default context once more (each successful libusb_init holds one
// reference to it). When the library is unloaded, or the process ends, the references the
// library took are given back, after the display still open (if any) has been released and
// closed, so that neither the context nor a device handle outlives the library. A host's own
// references to the default context are left alone.
#include <libusb.h>

#include <algorithm>
#include <new>
#include <vector>

#include "gadget_usb/usb_backend.h"
#include "quorvex.h"

namespace qv {
namespace {

libusb_device* dev(UsbDevice* d) { return reinterpret_cast<libusb_device*>(d); }
libusb_device_handle* hnd(UsbHandle* h) { return reinterpret_cast<libusb_device_handle*>(h); }

class LibusbBackend final : public UsbBackend {
public:
    int init() override {
        const int rc = libusb_init(nullptr);
        if (rc == 0) ++references_;
        return rc;
    }

    ssize_t get_device_list(UsbDevice*** list) override {
        // After release() (a host that calls the library from its own exit handlers), the
        // context is started again rather than used while gone.
        if (references_ == 0 && init() != 0) {
            *list = nullptr;
            return LIBUSB_ERROR_OTHER;
        }
        libusb_device** devices = nullptr;
        const ssize_t n = libusb_get_device_list(nullptr, &devices);
        *list = reinterpret_cast<UsbDevice**>(devices);
        return n;
    }

    void free_device_list(UsbDevice** list) override {
        if (list != nullptr) libusb_free_device_list(reinterpret_cast<libusb_device**>(list), 1);
    }

    int get_device_descriptor(UsbDevice* d, uint16_t* vendor, uint16_t* product) override {
        libusb_device_descriptor desc{};
        const int rc = libusb_get_device_descriptor(dev(d), &desc);
        if (rc == 0) {
            *vendor = desc.idVendor;
            *product = desc.idProduct;
        }
        return rc;
    }

    uint8_t get_bus_number(UsbDevice* d) override { return libusb_get_bus_number(dev(d)); }
    uint8_t get_device_address(UsbDevice* d) override { return libusb_get_device_address(dev(d)); }

    int open(UsbDevice* d, UsbHandle** handle) override {
        libusb_device_handle* h = nullptr;
        const int rc = libusb_open(dev(d), &h);
        *handle = reinterpret_cast<UsbHandle*>(h);
        if (rc == 0) open_.push_back(h);
        return rc;
    }

    void close(UsbHandle* h) override {
        open_.erase(std::remove(open_.begin(), open_.end(), hnd(h)), open_.end());
        libusb_close(hnd(h));
    }

    int kernel_driver_active(UsbHandle* h, int interface) override {
        return libusb_kernel_driver_active(hnd(h), interface);
    }
    int detach_kernel_driver(UsbHandle* h, int interface) override {
        return libusb_detach_kernel_driver(hnd(h), interface);
    }
    int claim_interface(UsbHandle* h, int interface) override {
        return libusb_claim_interface(hnd(h), interface);
    }
    int release_interface(UsbHandle* h, int interface) override {
        return libusb_release_interface(hnd(h), interface);
    }

    int control_transfer(UsbHandle* h, uint8_t request_type, uint8_t request, uint16_t value,
                         uint16_t index, uint8_t* data, uint16_t length, unsigned timeout_ms) override {
        return libusb_control_transfer(hnd(h), request_type, request, value, index, data, length,
                                       timeout_ms);
    }

    int bulk_transfer(UsbHandle* h, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                      unsigned timeout_ms) override {
        return libusb_bulk_transfer(hnd(h), endpoint, data, length, transferred, timeout_ms);
    }

    std::size_t open_handles() const { return open_.size(); }

    // Closes every handle still open (the connection state forgets it) and gives back the
    // library's references to the default context.
    void release() {
        for (libusb_device_handle* h : open_) {
            if (reinterpret_cast<libusb_device_handle*>(g_glimmetHandle) == h) {
                if (m_claimed_interface == 1) libusb_release_interface(h, 0);
                g_glimmetHandle = nullptr;
                m_claimed_interface = 0;
                ConnectFlag = 0;
            }
            libusb_close(h);
        }
        std::vector<libusb_device_handle*>().swap(open_);
        for (; references_ > 0; --references_) libusb_exit(nullptr);
    }

private:
    std::vector<libusb_device_handle*> open_;  // handles opened and not yet closed
    unsigned references_ = 0;                   // successful libusb_init calls not yet undone
};

// The backend is built in static storage and never destroyed: a host may still call the
// library from its own exit handlers, after the release below has run.
LibusbBackend& instance() {
    alignas(LibusbBackend) static unsigned char storage[sizeof(LibusbBackend)];
    static LibusbBackend* const backend = new (storage) LibusbBackend;
    return *backend;
}

// Runs when the library is unloaded or the process ends.
struct ReleaseAtUnload {
    ~ReleaseAtUnload() { libusb_release(); }
} g_release_at_unload;

}  // namespace

UsbBackend& libusb_backend() { return instance(); }

std::size_t libusb_open_handles() { return instance().open_handles(); }

void libusb_release() { instance().release(); }

}  // namespace qv
