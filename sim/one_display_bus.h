// A bus with one display that needs no set-up: it is always there, opens at once, and takes
// every control request. What the display says is the bulk IN of the class that derives from
// it. The benchmark and the fuzz targets stand on it, where the whole bus of the simulated
// display would be in the way.
#pragma once

#include <cstdint>

#include "gadget_usb/usb_backend.h"

namespace qv::sim {

class OneDisplayBus : public qv::UsbBackend {
public:
    int init() override { return 0; }
    ssize_t get_device_list(qv::UsbDevice*** list) override {
        *list = devices_;
        return 1;
    }
    void free_device_list(qv::UsbDevice**) override {}
    int get_device_descriptor(qv::UsbDevice*, uint16_t* vendor, uint16_t* product) override {
        *vendor = QUORVEX_USB_VID;
        *product = QUORVEX_USB_PID;
        return 0;
    }
    uint8_t get_bus_number(qv::UsbDevice*) override { return 1; }
    uint8_t get_device_address(qv::UsbDevice*) override { return 2; }
    int open(qv::UsbDevice*, qv::UsbHandle** handle) override {
        *handle = reinterpret_cast<qv::UsbHandle*>(&device_);
        return 0;
    }
    void close(qv::UsbHandle*) override {}
    int kernel_driver_active(qv::UsbHandle*, int) override { return 0; }
    int detach_kernel_driver(qv::UsbHandle*, int) override { return 0; }
    int claim_interface(qv::UsbHandle*, int) override { return 0; }
    int release_interface(qv::UsbHandle*, int) override { return 0; }
    int control_transfer(qv::UsbHandle*, uint8_t, uint8_t, uint16_t, uint16_t, uint8_t*, uint16_t,
                         unsigned) override {
        return 0;
    }

private:
    int device_ = 0;
    qv::UsbDevice* devices_[2] = {reinterpret_cast<qv::UsbDevice*>(&device_), nullptr};
};

}  // namespace qv::sim
