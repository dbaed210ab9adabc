// The production USB backend: libusb-1.0's default context. This is the only file of the
// library that names libusb.
#include <libusb.h>

#include "gadget_usb/usb_backend.h"

namespace qv {
namespace {

libusb_device* dev(UsbDevice* d) { return reinterpret_cast<libusb_device*>(d); }
libusb_device_handle* hnd(UsbHandle* h) { return reinterpret_cast<libusb_device_handle*>(h); }

class LibusbBackend final : public UsbBackend {
public:
    int init() override { return libusb_init(nullptr); }

    ssize_t get_device_list(UsbDevice*** list) override {
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
        return rc;
    }

    void close(UsbHandle* h) override { libusb_close(hnd(h)); }

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
};

LibusbBackend g_libusb;

}  // namespace

UsbBackend& libusb_backend() { return g_libusb; }

}  // namespace qv
