// A kernel USB bus emulated with umockdev, for running the library's real libusb backend.
//
// Each display is a usbfs device node (/dev/bus/usb/BBB/DDD) with its sysfs attributes and
// descriptors (interface 0, bulk OUT 0x02, bulk IN 0x81, 64-byte packets). An ioctl handler
// answers the usbfs requests libusb sends: bulk OUT bytes go to the simulated firmware as one
// request, bulk IN requests are answered by the simulated bridge (status bytes alone when
// nothing is pending), the bridge's baud-rate request programs the bridge. The firmware and
// bridge are the same models the in-process simulated bus uses.
//
// umockdev serves the ioctls on its own worker thread; every piece of state the handler
// touches is guarded by one mutex. Reach a display's models only through with_display().
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gadget_usb/clock.h"
#include "sim/bridge.h"
#include "sim/firmware.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace qvtest {

// A control request's setup packet as the device received it.
struct SetupPacket {
    uint8_t request_type;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

// One physical display: its firmware and bridge and what its USB side saw. It keeps its
// state when it is unplugged and plugged in again.
struct EmulatedDisplay {
    EmulatedDisplay(const qv::sim::FirmwareConfig& config, qv::Clock& clock)
        : firmware(config, clock), bridge(firmware, clock) {}

    qv::sim::Firmware firmware;
    qv::sim::Bridge bridge;

    // --- behaviour of the USB side
    int claim_errno = 0;             // claiming interface 0 fails with this errno
    bool kernel_driver = false;      // a kernel driver is bound to interface 0 until detached
    bool vanish_at_next_in = false;  // the display is unplugged while the next IN request is pending
    // The link breaks at the n-th bulk URB from now (1 = the next, OUT or IN): with ENODEV the
    // display is pulled out while that URB is in flight (it completes as shut down); with
    // EPIPE its endpoints stall, and that URB and every later bulk URB complete as stalled
    // until `stalled` is cleared.
    int break_at_urb = 0;
    int break_errno = ENODEV;
    bool stalled = false;

    // --- what the USB side saw
    std::vector<SetupPacket> controls;
    std::vector<int> in_lengths;  // bytes of every bulk IN transfer, status bytes included
    int opens = 0;       // file handles opened on the node
    int claims = 0;      // successful claims of interface 0
    int releases = 0;
    int detaches = 0;    // kernel driver detached
    int urbs_submitted = 0;
    int urbs_reaped = 0;
    int urbs_discarded = 0;
    int urbs_in_flight = 0;  // submitted and not yet reaped
};

class UsbTestbed {
public:
    // The testbed of this process. It is made before libusb is first initialised: a libusb
    // context started without it would read the real /sys and never see the emulated bus.
    static UsbTestbed& instance();
    // Removes the testbed's files at the end of the process, if a testbed was made.
    static void shutdown();

    // True when the process runs with umockdev's preload library (under umockdev-wrapper);
    // otherwise nothing is redirected and no test may touch USB.
    bool emulating() const { return emulating_; }

    // Removes every device (libusb forgets them at its next device-list walk) and every
    // display; the displays added next run on `clock` (none can be added with nullptr).
    void reset(qv::Clock* clock);

    // --- devices, in the order they are added (sysfs order: bus, then port)
    void add_root_hub(uint8_t bus);
    // A display behind the bridge at bus/address, on port `port` of the bus's root hub.
    // Returns its index for with_display() and the plug functions.
    std::size_t add_display(uint8_t bus, uint8_t port, uint8_t address, const qv::sim::FirmwareConfig& config);
    // A device with other ids; the library must never open it.
    void add_other_device(uint8_t bus, uint8_t port, uint8_t address, uint16_t vendor, uint16_t product);

    // The display is pulled out: its node and sysfs entry go, every request on a handle still
    // open fails with ENODEV (requests in flight complete as shut down).
    void unplug(std::size_t display);
    // Plugged in again, on the same port, at a new address; the bridge starts empty.
    void replug(std::size_t display, uint8_t new_address);
    // The node is replaced by something that cannot be opened (a directory). The node is never
    // removed instead: umockdev would then let the open reach a real device at that address.
    void make_unopenable(std::size_t display);

    // Runs f on display i's models with the handler's mutex held. Never call the library
    // from f: the library's requests wait for the same mutex.
    void with_display(std::size_t i, const std::function<void(EmulatedDisplay&)>& f);
    template <class T>
    T read_display(std::size_t i, T (*f)(const EmulatedDisplay&)) {
        T value{};
        with_display(i, [&](EmulatedDisplay& d) { value = f(d); });
        return value;
    }
    std::size_t display_count();

    // File handles this process holds on the emulated device nodes (a handle libusb or the
    // library never closed shows here).
    int open_device_files() const;

    // Entries of a directory of this process (/proc/self/fd, /proc/self/task; the listing's
    // own descriptor included).
    static std::size_t entries(const char* dir);
    // The same, once it has not changed for 50 ms (a baseline).
    static std::size_t stable_entries(const char* dir);
    // The same, once it equals `expected`: umockdev's worker thread closes what it held for a
    // handle a moment after the handle is closed, so the count is read again for up to a
    // second of real time.
    static std::size_t settled_entries(const char* dir, std::size_t expected);

    // Opens of devices that are not displays (root hubs, other ids).
    int foreign_opens();
    // usbfs requests the handler does not know, as text; a test expects none.
    std::vector<std::string> unknown_requests();

    // (bus, address) of every device libusb lists now, in list order.
    static std::vector<std::pair<int, int>> libusb_listing(uint16_t vendor, uint16_t product);

    struct Node;

private:
    UsbTestbed();
    static UsbTestbed*& the_instance();
    std::string add_node(Node& node, const std::string& descriptors_hex, bool with_port);
    void remove_node(Node& node);

    UMockdevTestbed* testbed_ = nullptr;
    bool emulating_ = false;
    std::string root_;
    qv::Clock* clock_ = nullptr;

    std::mutex mutex_;  // guards everything below and every display
    std::vector<std::unique_ptr<EmulatedDisplay>> displays_;
    std::vector<std::unique_ptr<Node>> nodes_;  // kept for the whole process: handles may outlive a test
    std::vector<std::string> unknown_;
    int foreign_opens_ = 0;

    friend struct HandlerAccess;
};

}  // namespace qvtest
