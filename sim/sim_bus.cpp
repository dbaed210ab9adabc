#include "sim/sim_bus.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim/virtual_clock.h"

namespace qv::sim {

uint16_t display_vendor_id() { return QUORVEX_USB_VID; }
uint16_t display_product_id() { return QUORVEX_USB_PID; }

SimDevice::SimDevice(uint8_t b, uint8_t a, uint16_t v, uint16_t p, std::unique_ptr<Firmware> fw,
                     Clock& clock)
    : bus(b), address(a), vendor(v), product(p), firmware_(std::move(fw)) {
    if (firmware_) bridge_ = std::make_unique<Bridge>(*firmware_, clock);
}

SimBus::SimBus(const std::vector<FirmwareConfig>& displays, Clock& clock) : clock_(clock) {
    devices_.push_back(std::make_unique<SimDevice>(1, 1, 0x1d6b, 0x0002, nullptr, clock_));  // root hub
    uint8_t address = 2;
    for (const FirmwareConfig& config : displays) {
        devices_.push_back(std::make_unique<SimDevice>(1, address++, display_vendor_id(), display_product_id(),
                                                       std::make_unique<Firmware>(config, clock_), clock_));
        displays_.push_back(devices_.back().get());
    }
}

SimDevice::~SimDevice() {
    if (claim_fd >= 0) ::close(claim_fd);
}

SimDevice& SimBus::add_other_device(uint8_t bus, uint8_t address, uint16_t vendor, uint16_t product) {
    devices_.push_back(std::make_unique<SimDevice>(bus, address, vendor, product, nullptr, clock_));
    return *devices_.back();
}

void SimBus::unplug(std::size_t i) {
    display(i).plugged = false;
    if (claim_prefix_.empty()) return;
    display(i).shared_unplug = true;
    const int fd = ::open(unplugged_marker(static_cast<int>(i)).c_str(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) ::close(fd);
}

void SimBus::replug(std::size_t i, uint8_t new_address) {
    SimDevice& d = display(i);
    if (!claim_prefix_.empty()) ::unlink(unplugged_marker(static_cast<int>(i)).c_str());
    d.shared_unplug = false;
    d.plugged = true;
    d.address = new_address;
    d.generation++;
    d.claimed = false;
    unlock_claim(d);
    d.detached = false;
    d.bridge().clear();
}

int SimBus::display_index(const SimDevice* dev) const {
    const auto it = std::find(displays_.begin(), displays_.end(), dev);
    return it == displays_.end() ? -1 : static_cast<int>(it - displays_.begin());
}

std::string SimBus::unplugged_marker(int display_index) const {
    return claim_prefix_ + ".unplugged." + std::to_string(display_index);
}

void SimBus::follow_shared_plug(SimDevice& d) {
    const int index = display_index(&d);
    if (claim_prefix_.empty() || index < 0) return;
    const bool out = ::access(unplugged_marker(index).c_str(), F_OK) == 0;
    if (out && d.plugged) {
        d.plugged = false;
        d.shared_unplug = true;
    } else if (!out && d.shared_unplug) {
        replug(static_cast<std::size_t>(index), d.address);
    }
}

SimBus::Handle* SimBus::handle_of(UsbHandle* h) {
    auto* handle = reinterpret_cast<Handle*>(h);
    if (handle != nullptr && handle->open) follow_shared_plug(*handle->device);
    // A handle of a device that went away (or came back at a new address) no longer works.
    if (handle == nullptr || !handle->open || !handle->device->plugged ||
        handle->generation != handle->device->generation)
        return nullptr;
    return handle;
}

int SimBus::init() {
    ++init_calls_;
    return faults.init_error;
}

ssize_t SimBus::get_device_list(UsbDevice*** list) {
    if (faults.override_count) {
        *list = nullptr;
        return faults.count;
    }
    std::vector<SimDevice*> present;
    for (auto& d : devices_) {
        follow_shared_plug(*d);
        if (d->plugged) present.push_back(d.get());
    }
    auto* array = new UsbDevice*[present.size() + 1];
    for (std::size_t i = 0; i < present.size(); ++i) array[i] = reinterpret_cast<UsbDevice*>(present[i]);
    array[present.size()] = nullptr;
    *list = array;
    ++open_lists_;
    return static_cast<ssize_t>(present.size());
}

void SimBus::free_device_list(UsbDevice** list) {
    if (list == nullptr) return;
    delete[] list;
    --open_lists_;
}

int SimBus::get_device_descriptor(UsbDevice* dev, uint16_t* vendor, uint16_t* product) {
    SimDevice* d = device_of(dev);
    if (d->faults.descriptor_error != 0) return d->faults.descriptor_error;
    *vendor = d->vendor;
    *product = d->product;
    return USB_SUCCESS;
}

uint8_t SimBus::get_bus_number(UsbDevice* dev) { return device_of(dev)->bus; }
uint8_t SimBus::get_device_address(UsbDevice* dev) { return device_of(dev)->address; }

int SimBus::open(UsbDevice* dev, UsbHandle** handle) {
    SimDevice* d = device_of(dev);
    *handle = nullptr;
    if (!d->plugged) return USB_ERROR_NO_DEVICE;
    if (d->faults.open_error != 0) return d->faults.open_error;
    handles_.push_back(std::make_unique<Handle>(Handle{d, d->generation}));
    d->opens++;
    *handle = reinterpret_cast<UsbHandle*>(handles_.back().get());
    return USB_SUCCESS;
}

void SimBus::close(UsbHandle* h) {
    auto* handle = reinterpret_cast<Handle*>(h);
    if (handle == nullptr || !handle->open) return;
    handle->open = false;
    handle->device->opens--;
    if (handle->generation == handle->device->generation) {
        handle->device->claimed = false;
        unlock_claim(*handle->device);
    }
}

int SimBus::open_handles() const {
    return static_cast<int>(std::count_if(handles_.begin(), handles_.end(),
                                          [](const std::unique_ptr<Handle>& h) { return h->open; }));
}

int SimBus::kernel_driver_active(UsbHandle* h, int /*interface*/) {
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    return handle->device->faults.kernel_driver && !handle->device->detached ? 1 : 0;
}

int SimBus::detach_kernel_driver(UsbHandle* h, int /*interface*/) {
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    if (!handle->device->faults.kernel_driver || handle->device->detached) return USB_ERROR_NOT_FOUND;
    handle->device->detached = true;
    return USB_SUCCESS;
}

int SimBus::claim_interface(UsbHandle* h, int interface) {
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    if (interface != 0) return USB_ERROR_NOT_FOUND;
    SimDevice& d = *handle->device;
    if (d.faults.claim_error != 0) return d.faults.claim_error;
    if (d.faults.kernel_driver && !d.detached) return USB_ERROR_BUSY;
    if (const int rc = lock_claim(d); rc != USB_SUCCESS) return rc;
    d.claimed = true;
    handle->first_in_after_claim = true;
    return USB_SUCCESS;
}

int SimBus::release_interface(UsbHandle* h, int /*interface*/) {
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    if (handle->device->faults.release_error != 0) return handle->device->faults.release_error;
    if (!handle->device->claimed) return USB_ERROR_NOT_FOUND;
    handle->device->claimed = false;
    unlock_claim(*handle->device);
    return USB_SUCCESS;
}

int SimBus::lock_claim(SimDevice& d) {
    const int index = display_index(&d);
    if (claim_prefix_.empty() || d.claim_fd >= 0 || index < 0) return USB_SUCCESS;
    // Where the lock file cannot be opened (no folder, no right to write there: the state file
    // says so itself when it is saved), the claim is this process's alone.
    const std::string name = claim_prefix_ + ".lock";
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return USB_SUCCESS;
    struct flock byte {};
    byte.l_type = F_WRLCK;
    byte.l_whence = SEEK_SET;
    byte.l_start = index;
    byte.l_len = 1;
    int rc = 0;
    while ((rc = fcntl(fd, F_OFD_SETLK, &byte)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const bool held = errno == EAGAIN || errno == EACCES;
        ::close(fd);
        return held ? USB_ERROR_BUSY : USB_SUCCESS;
    }
    d.claim_fd = fd;
    return USB_SUCCESS;
}

void SimBus::unlock_claim(SimDevice& d) {
    if (d.claim_fd < 0) return;
    ::close(d.claim_fd);  // gives the lock back
    d.claim_fd = -1;
}

int SimBus::control_transfer(UsbHandle* h, uint8_t request_type, uint8_t request, uint16_t value,
                             uint16_t index, uint8_t* /*data*/, uint16_t length, unsigned /*timeout_ms*/) {
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    SimDevice& d = *handle->device;
    ControlRecord record{display_index(&d), request_type, request, value, index, 0};
    if (d.faults.control_error != 0) {
        controls_.push_back(record);
        return d.faults.control_error;
    }
    if (d.is_display() && request_type == 0x40 && request == 3) {
        d.bridge().set_baud(value, index);
        record.decoded_rate = d.bridge().baud_rate();
    }
    controls_.push_back(record);
    return length;
}

uint64_t SimBus::in_hold_us(UsbHandle* h, unsigned timeout_ms) {
    Handle* handle = handle_of(h);
    if (handle == nullptr || !handle->device->is_display() || handle->device->faults.broken != 0) return 0;
    return handle->device->bridge().in_hold_us(timeout_ms);
}

int SimBus::broken_link(SimDevice& d, unsigned timeout_ms) {
    DeviceFaults& f = d.faults;
    if (f.break_at_transfer > 0 && --f.break_at_transfer == 0) {
        if (f.break_error == USB_ERROR_NO_DEVICE) {
            d.plugged = false;
            return USB_ERROR_NO_DEVICE;
        }
        f.broken = f.break_error;
    }
    // A transfer that times out has waited its whole timeout (0 means none: it returns at once).
    if (f.broken == USB_ERROR_TIMEOUT) {
        if (auto* virtual_clock = dynamic_cast<VirtualClock*>(&clock_))
            virtual_clock->advance_us(uint64_t{timeout_ms} * 1000u);
    }
    return f.broken;
}

int SimBus::bulk_transfer(UsbHandle* h, uint8_t endpoint, uint8_t* data, int length, int* transferred,
                          unsigned timeout_ms) {
    *transferred = 0;
    Handle* handle = handle_of(h);
    if (handle == nullptr) return USB_ERROR_NO_DEVICE;
    SimDevice& d = *handle->device;
    if (const int rc = broken_link(d, timeout_ms); rc != 0) return rc;
    if (!d.is_display()) return USB_ERROR_PIPE;
    if (!d.claimed) return USB_ERROR_IO;
    if (endpoint == 0x02) return d.bridge().bulk_out(data, length, transferred);
    if (endpoint != 0x81) return USB_ERROR_PIPE;
    if (handle->first_in_after_claim) {
        handle->first_in_after_claim = false;
        if (d.faults.drain_error != 0) return d.faults.drain_error;
    }
    return d.bridge().bulk_in(data, length, transferred, timeout_ms);
}

}  // namespace qv::sim
