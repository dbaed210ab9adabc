// A simulated USB bus with 0..4 displays (and any other devices a test adds), behind the same
// interface as libusb. Each display runs the firmware model behind the bridge model.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"
#include "sim/bridge.h"
#include "sim/firmware.h"

namespace qv::sim {

// Faults of the bus and of one device's USB handling (the bridge has its own, in Bridge).
struct BusFaults {
    int init_error = 0;             // init() fails with this code
    bool override_count = false;    // get_device_list returns `count` and no list
    ssize_t count = 0;
};

struct DeviceFaults {
    int descriptor_error = 0;   // reading the device descriptor fails
    int open_error = 0;
    int claim_error = 0;
    int release_error = 0;
    int control_error = 0;      // the set-baud-rate request fails
    int drain_error = 0;        // the first IN read after the claim fails
    bool kernel_driver = false; // a kernel driver is bound to interface 0 until detached
    // The link breaks at the n-th bulk transfer from now on (1 = the next one, OUT or IN).
    // With USB_ERROR_NO_DEVICE the display is pulled out at that moment; with another code (a
    // stalled pipe, a timeout that costs the transfer its whole timeout) it stays plugged in
    // and that transfer and every later one fail so until `broken` is cleared.
    int break_at_transfer = 0;
    int break_error = USB_ERROR_NO_DEVICE;
    int broken = 0;             // the code every bulk transfer fails with now (0: none)
};

struct ControlRecord {
    int display;  // index of the display, -1 for another device
    uint8_t request_type, request;
    uint16_t value, index;
    int decoded_rate;
};

class SimDevice {
public:
    SimDevice(uint8_t bus, uint8_t address, uint16_t vendor, uint16_t product,
              std::unique_ptr<Firmware> firmware, Clock& clock);

    uint8_t bus, address;
    uint16_t vendor, product;
    bool plugged = true;
    unsigned generation = 0;  // grows at every replug: handles of an older plug-in are dead
    DeviceFaults faults;
    bool detached = false;       // the kernel driver was detached
    bool claimed = false;
    int opens = 0;               // handles open now
    int claim_fd = -1;           // holds the display's claim lock while claimed (share_claims)
    bool shared_unplug = false;  // out while PREFIX.unplugged.K exists (share_claims)

    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;
    ~SimDevice();

    bool is_display() const { return firmware_ != nullptr; }
    Firmware& firmware() { return *firmware_; }
    Bridge& bridge() { return *bridge_; }

private:
    std::unique_ptr<Firmware> firmware_;
    std::unique_ptr<Bridge> bridge_;
};

class SimBus final : public UsbBackend {
public:
    // Displays at bus 1, addresses 2, 3, ... in list order, after a root hub at address 1.
    SimBus(const std::vector<FirmwareConfig>& displays, Clock& clock);

    // --- the backend interface
    int init() override;
    ssize_t get_device_list(UsbDevice*** list) override;
    void free_device_list(UsbDevice** list) override;
    int get_device_descriptor(UsbDevice* dev, uint16_t* vendor, uint16_t* product) override;
    uint8_t get_bus_number(UsbDevice* dev) override;
    uint8_t get_device_address(UsbDevice* dev) override;
    int open(UsbDevice* dev, UsbHandle** handle) override;
    void close(UsbHandle* handle) override;
    int kernel_driver_active(UsbHandle* handle, int interface) override;
    int detach_kernel_driver(UsbHandle* handle, int interface) override;
    int claim_interface(UsbHandle* handle, int interface) override;
    int release_interface(UsbHandle* handle, int interface) override;
    int control_transfer(UsbHandle* handle, uint8_t request_type, uint8_t request, uint16_t value,
                         uint16_t index, uint8_t* data, uint16_t length, unsigned timeout_ms) override;
    int bulk_transfer(UsbHandle* handle, uint8_t endpoint, uint8_t* data, int length,
                      int* transferred, unsigned timeout_ms) override;

    // How long an IN transfer of this handle with this timeout would wait now for a reply that
    // holds it (a calibration's): a caller that takes turns with other threads on this bus
    // waits that long outside its lock first.
    uint64_t in_hold_us(UsbHandle* handle, unsigned timeout_ms);

    // --- the simulated world
    std::size_t display_count() const { return displays_.size(); }
    SimDevice& display(std::size_t i) { return *displays_.at(i); }
    Firmware& firmware(std::size_t i) { return display(i).firmware(); }
    Bridge& bridge(std::size_t i) { return display(i).bridge(); }
    // A device that is not a display (other vendor/product ids), at the end of the list.
    SimDevice& add_other_device(uint8_t bus, uint8_t address, uint16_t vendor, uint16_t product);
    void unplug(std::size_t display_index);
    void replug(std::size_t display_index, uint8_t new_address);
    // Claims shared with other processes (those simulating the same displays): claiming display
    // K also takes an open-file-description lock on byte K of the file PREFIX.lock until the
    // claim is released or the handle closed, and fails with USB_ERROR_BUSY while another process
    // (or another bus) holds that byte. The kernel drops the lock when its holder dies. An empty
    // prefix: claims of this bus only.
    // Plugging is shared too: while the file PREFIX.unplugged.K exists (made by unplug, removed
    // by replug in any process sharing), display K is out of every sharing process's device list
    // and its handles fail with USB_ERROR_NO_DEVICE; once it is gone again, the display is back
    // at the address it had in that process, as a new device (its old handles stay dead). Each
    // process looks at every walk of the bus and every call on a handle: a display pulled out
    // and put back between two of its looks goes unnoticed by it.
    void share_claims(std::string prefix) { claim_prefix_ = std::move(prefix); }

    BusFaults faults;

    // --- observation
    int init_calls() const { return init_calls_; }
    const std::vector<ControlRecord>& controls() const { return controls_; }
    int open_handles() const;    // handles opened and not yet closed
    int open_lists() const { return open_lists_; }  // device lists not yet freed
    Clock& clock() { return clock_; }

private:
    struct Handle {
        SimDevice* device;
        unsigned generation;
        bool open = true;
        bool first_in_after_claim = false;
    };
    Handle* handle_of(UsbHandle* h);
    SimDevice* device_of(UsbDevice* d) { return reinterpret_cast<SimDevice*>(d); }
    // A bulk transfer of a device whose link is breaking: its failure code, or 0 to go on.
    int broken_link(SimDevice& d, unsigned timeout_ms);
    int display_index(const SimDevice* dev) const;
    // Takes or gives back another process's view of the claim (see share_claims).
    int lock_claim(SimDevice& d);
    static void unlock_claim(SimDevice& d);
    // Where the displays are plugged as the processes sharing them see it (share_claims).
    std::string unplugged_marker(int display_index) const;
    void follow_shared_plug(SimDevice& d);

    Clock& clock_;
    std::vector<std::unique_ptr<SimDevice>> devices_;  // list order
    std::vector<SimDevice*> displays_;
    std::vector<std::unique_ptr<Handle>> handles_;
    std::vector<ControlRecord> controls_;
    int init_calls_ = 0;
    int open_lists_ = 0;
    std::string claim_prefix_;
};

// The vendor and product ids the library looks for.
uint16_t display_vendor_id();
uint16_t display_product_id();

}  // namespace qv::sim
