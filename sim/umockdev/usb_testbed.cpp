#include "sim/umockdev/usb_testbed.h"

#include <dirent.h>
#include <fcntl.h>
#include <libusb.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>

namespace qvtest {

namespace {

constexpr uint8_t kEndpointOut = 0x02;
constexpr uint8_t kEndpointIn = 0x81;
constexpr int kInterface = 0;
constexpr const char* kKernelDriver = "usbserial_generic";

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v & 0xFFu); }
uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

// Device and configuration descriptors of the display's bridge: full speed, one vendor-specific
// interface with a bulk OUT 0x02 and a bulk IN 0x81 endpoint of 64 bytes.
std::vector<uint8_t> bridge_descriptors(uint16_t vendor, uint16_t product) {
    return {
        // device: USB 2.0, class per interface, ep0 64 bytes, bcdDevice 6.00, one configuration
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, lo(vendor), hi(vendor), lo(product), hi(product),
        0x00, 0x06, 0x00, 0x00, 0x00, 0x01,
        // configuration 1: 32 bytes in all, one interface, bus powered, 90 mA
        0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x2D,
        // interface 0: two endpoints, vendor specific
        0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x00,
        // bulk IN 0x81 and bulk OUT 0x02, 64-byte packets
        0x07, 0x05, kEndpointIn, 0x02, 0x40, 0x00, 0x00,
        0x07, 0x05, kEndpointOut, 0x02, 0x40, 0x00, 0x00,
    };
}

// A USB 2.0 root hub (the kernel's 1d6b:0002): one hub interface with its interrupt endpoint.
std::vector<uint8_t> root_hub_descriptors() {
    return {
        0x12, 0x01, 0x00, 0x02, 0x09, 0x00, 0x01, 0x40, 0x6B, 0x1D, 0x02, 0x00, 0x01, 0x06, 0x03, 0x02,
        0x01, 0x01,
        0x09, 0x02, 0x19, 0x00, 0x01, 0x01, 0x00, 0xE0, 0x00,
        0x09, 0x04, 0x00, 0x00, 0x01, 0x09, 0x00, 0x00, 0x00,
        0x07, 0x05, 0x81, 0x03, 0x04, 0x00, 0x0C,
    };
}

// Another vendor's device (or the bridge maker's other products).
std::vector<uint8_t> other_descriptors(uint16_t vendor, uint16_t product) {
    return {
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, lo(vendor), hi(vendor), lo(product), hi(product),
        0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
        0x09, 0x02, 0x12, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00,
    };
}

char* format(const char* fmt, unsigned a, unsigned b) {
    static thread_local char text[64];
    std::snprintf(text, sizeof text, fmt, a, b);
    return text;
}

}  // namespace

// A URB that has completed and waits for the client to reap it.
struct CompletedUrb {
    UMockdevIoctlData* urb = nullptr;     // the client's struct usbdevfs_urb (a reference held)
    UMockdevIoctlData* buffer = nullptr;  // its data buffer (a reference held), or null
    int status = 0;
    int actual_length = 0;
    std::vector<uint8_t> in_data;  // what an IN transfer delivers
};

// One open file handle on a node.
struct ClientState {
    std::deque<CompletedUrb> completed;
    bool claimed = false;
};

// One appearance of a device on the bus: a device node with its handler. A replug makes a new
// node for the same display.
struct UsbTestbed::Node {
    UsbTestbed* owner = nullptr;
    uint8_t bus = 0, port = 0, address = 0;
    uint16_t vendor = 0, product = 0;
    bool is_display = false;
    EmulatedDisplay* display = nullptr;  // null for other devices and once the test is over
    bool present = true;                 // false once unplugged: requests fail with ENODEV
    bool removed = false;                // its sysfs entry is gone
    std::string devnode;                 // /dev/bus/usb/BBB/DDD
    std::string syspath;                 // /sys/devices/...
    UMockdevIoctlBase* handler = nullptr;
    std::map<UMockdevIoctlClient*, ClientState> clients;
};

namespace {

struct Unref {
    void operator()(UMockdevIoctlData* d) const { umockdev_ioctl_data_unref(d); }
};
// resolve() hands out a reference of its own.
using DataPtr = std::unique_ptr<UMockdevIoctlData, Unref>;

DataPtr resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length) {
    return DataPtr(umockdev_ioctl_data_resolve(parent, offset, length, nullptr));
}

void release_urb(CompletedUrb& u) {
    if (u.buffer != nullptr) umockdev_ioctl_data_unref(u.buffer);
    if (u.urb != nullptr) umockdev_ioctl_data_unref(u.urb);
    u.buffer = nullptr;
    u.urb = nullptr;
}

}  // namespace

// The handler's callbacks, run on umockdev's worker thread.
struct HandlerAccess {
    static std::mutex& mutex(UsbTestbed::Node& n) { return n.owner->mutex_; }

    // Completes the client's request: the ioctl returns `result` with errno `error`.
    static gboolean answer(UMockdevIoctlClient* client, long result, int error = 0) {
        umockdev_ioctl_client_complete(client, result, error);
        return TRUE;
    }

    static void on_connected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
        auto& node = *static_cast<UsbTestbed::Node*>(data);
        std::lock_guard<std::mutex> lock(mutex(node));
        // A new file handle starts with nothing claimed and nothing to reap (umockdev does not
        // tell when a handle closes, so an address may come back for a new one).
        drop_client_state(node, node.clients[client]);
        if (!node.is_display)
            ++node.owner->foreign_opens_;
        else if (node.display != nullptr)
            ++node.display->opens;
    }

    static void drop_client_state(UsbTestbed::Node& node, ClientState& state) {
        for (CompletedUrb& u : state.completed) {
            release_urb(u);
            if (node.display != nullptr) --node.display->urbs_in_flight;
        }
        state = ClientState{};
    }

    static gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
        auto& node = *static_cast<UsbTestbed::Node*>(data);
        std::lock_guard<std::mutex> lock(mutex(node));
        ClientState& state = node.clients[client];
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

        const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
        if (!node.present && !reap) {  // a device that has gone answers nothing else
            return answer(client, -1, ENODEV);
        }
        switch (request) {
            case USBDEVFS_GET_CAPABILITIES: {
                DataPtr caps = resolve(arg, 0, sizeof(uint32_t));
                if (!caps) return answer(client, -1, EFAULT);
                const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                       USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
                std::memcpy(caps->data, &value, sizeof value);
                return answer(client, 0);
            }
            case USBDEVFS_GET_SPEED:
                return answer(client, 2 /* full speed */, 0);
            case USBDEVFS_SETINTERFACE:
            case USBDEVFS_CLEAR_HALT:
            case USBDEVFS_RESETEP:
            case USBDEVFS_RESET:
                return answer(client, 0);
            case USBDEVFS_GETDRIVER:
                return get_driver(node, client, arg);
            case USBDEVFS_IOCTL:
                return driver_ioctl(node, client, arg);
            case USBDEVFS_DISCONNECT_CLAIM:
                return disconnect_claim(node, state, client, arg);
            case USBDEVFS_CLAIMINTERFACE:
                return claim(node, state, client, arg);
            case USBDEVFS_RELEASEINTERFACE:
                return release(node, state, client, arg);
            case USBDEVFS_SUBMITURB:
                return submit(node, state, client, arg);
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return reap_one(node, state, client, arg);
            case USBDEVFS_DISCARDURB:
                // Every URB completes at once, so there is never one to cancel: the kernel
                // answers EINVAL and the caller reaps it as usual.
                if (node.display != nullptr) ++node.display->urbs_discarded;
                return answer(client, -1, EINVAL);
            default:
                node.owner->unknown_.push_back(format("ioctl 0x%08x on address %u",
                                                      static_cast<unsigned>(request), node.address));
                return answer(client, -1, ENOTTY);
        }
    }

    // The interface number an ioctl's argument points to (~0u when it cannot be read).
    static unsigned interface_of(UMockdevIoctlData* arg) {
        DataPtr d = resolve(arg, 0, sizeof(unsigned));
        unsigned ifno = ~0u;
        if (d) std::memcpy(&ifno, d->data, sizeof ifno);
        return ifno;
    }

    static gboolean get_driver(UsbTestbed::Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        DataPtr d = resolve(arg, 0, sizeof(usbdevfs_getdriver));
        if (!d) return answer(client, -1, EFAULT);
        usbdevfs_getdriver request{};
        std::memcpy(&request, d->data, sizeof request);
        if (node.display == nullptr || !node.display->kernel_driver || request.interface != kInterface) {
            return answer(client, -1, ENODATA);
        }
        std::snprintf(request.driver, sizeof request.driver, "%s", kKernelDriver);
        std::memcpy(d->data, &request, sizeof request);
        return answer(client, 0);
    }

    // USBDEVFS_IOCTL: requests to the interface's kernel driver; only unbinding and binding it.
    static gboolean driver_ioctl(UsbTestbed::Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        DataPtr d = resolve(arg, 0, sizeof(usbdevfs_ioctl));
        if (!d) return answer(client, -1, EFAULT);
        usbdevfs_ioctl command{};
        std::memcpy(&command, d->data, sizeof command);
        EmulatedDisplay* display = node.display;
        if (display == nullptr || command.ifno != kInterface) {
            return answer(client, -1, EINVAL);
        }
        if (static_cast<unsigned long>(static_cast<unsigned>(command.ioctl_code)) == USBDEVFS_DISCONNECT) {
            if (!display->kernel_driver) {
                return answer(client, -1, ENODATA);
            }
            display->kernel_driver = false;
            ++display->detaches;
        } else if (static_cast<unsigned long>(static_cast<unsigned>(command.ioctl_code)) == USBDEVFS_CONNECT) {
            display->kernel_driver = true;
        } else {
            node.owner->unknown_.push_back(format("driver ioctl 0x%08x on address %u",
                                                  static_cast<unsigned>(command.ioctl_code), node.address));
            return answer(client, -1, ENOTTY);
        }
        return answer(client, 0);
    }

    static int claim_errno(UsbTestbed::Node& node, unsigned ifno) {
        EmulatedDisplay* display = node.display;
        if (display == nullptr || ifno != kInterface) return ENOENT;
        if (display->claim_errno != 0) return display->claim_errno;
        if (display->kernel_driver) return EBUSY;  // the kernel driver holds the interface
        return 0;
    }

    static gboolean claim(UsbTestbed::Node& node, ClientState& state, UMockdevIoctlClient* client,
                          UMockdevIoctlData* arg) {
        const int error = claim_errno(node, interface_of(arg));
        if (error != 0) {
            return answer(client, -1, error);
        }
        state.claimed = true;
        ++node.display->claims;
        return answer(client, 0);
    }

    static gboolean disconnect_claim(UsbTestbed::Node& node, ClientState& state, UMockdevIoctlClient* client,
                                     UMockdevIoctlData* arg) {
        DataPtr d = resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
        if (!d) return answer(client, -1, EFAULT);
        usbdevfs_disconnect_claim request{};
        std::memcpy(&request, d->data, sizeof request);
        if (node.display != nullptr && node.display->kernel_driver && request.interface == kInterface) {
            node.display->kernel_driver = false;
            ++node.display->detaches;
        }
        const int error = claim_errno(node, request.interface);
        if (error != 0) {
            return answer(client, -1, error);
        }
        state.claimed = true;
        ++node.display->claims;
        return answer(client, 0);
    }

    static gboolean release(UsbTestbed::Node& node, ClientState& state, UMockdevIoctlClient* client,
                            UMockdevIoctlData* arg) {
        if (interface_of(arg) != kInterface || !state.claimed || node.display == nullptr) {
            return answer(client, -1, EINVAL);
        }
        state.claimed = false;
        ++node.display->releases;
        return answer(client, 0);
    }

    // The bridge's side of one URB; every URB completes at once.
    static gboolean submit(UsbTestbed::Node& node, ClientState& state, UMockdevIoctlClient* client,
                           UMockdevIoctlData* arg) {
        EmulatedDisplay* display = node.display;
        if (display == nullptr) {
            return answer(client, -1, ENOENT);
        }
        DataPtr urb_data = resolve(arg, 0, sizeof(usbdevfs_urb));
        if (!urb_data) return answer(client, -1, EFAULT);
        usbdevfs_urb urb{};
        std::memcpy(&urb, urb_data->data, sizeof urb);
        DataPtr buffer;
        if (urb.buffer_length > 0)
            buffer = resolve(urb_data.get(), offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(urb.buffer_length));
        if (urb.buffer_length > 0 && !buffer) return answer(client, -1, EFAULT);
        const auto length = static_cast<std::size_t>(std::max(urb.buffer_length, 0));

        CompletedUrb done;
        const bool bulk = urb.type == USBDEVFS_URB_TYPE_BULK;
        bool vanish = bulk && urb.endpoint == kEndpointIn && display->vanish_at_next_in;
        if (bulk && display->break_at_urb > 0 && --display->break_at_urb == 0) {
            if (display->break_errno == ENODEV)
                vanish = true;
            else
                display->stalled = true;
        }
        if (vanish) {
            // Pulled out while the request is in flight: it completes as shut down.
            display->vanish_at_next_in = false;
            node.present = false;
            done.status = -ESHUTDOWN;
        } else if (bulk && display->stalled) {
            done.status = -EPIPE;
        } else if (urb.type == USBDEVFS_URB_TYPE_CONTROL && urb.endpoint == 0 && length >= 8) {
            const uint8_t* b = buffer->data;
            SetupPacket setup{b[0], b[1], static_cast<uint16_t>(b[2] | (b[3] << 8)),
                              static_cast<uint16_t>(b[4] | (b[5] << 8)), static_cast<uint16_t>(b[6] | (b[7] << 8))};
            display->controls.push_back(setup);
            if (setup.request_type == 0x40 && setup.request == 3) display->bridge.set_baud(setup.value, setup.index);
            // Vendor requests of the bridge carry no data stage.
        } else if (urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEndpointOut) {
            int transferred = 0;
            const int rc = display->bridge.bulk_out(buffer != nullptr ? buffer->data : nullptr,
                                                    static_cast<int>(length), &transferred);
            done.status = rc < 0 ? -EPROTO : 0;
            done.actual_length = transferred;
        } else if (urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEndpointIn) {
            std::vector<uint8_t> bytes(length);
            int transferred = 0;
            const int rc = display->bridge.bulk_in(bytes.data(), static_cast<int>(length), &transferred, 0);
            bytes.resize(static_cast<std::size_t>(std::max(transferred, 0)));
            done.status = rc < 0 ? -EPROTO : 0;
            done.actual_length = static_cast<int>(bytes.size());
            display->in_lengths.push_back(done.actual_length);
            done.in_data = std::move(bytes);
        } else {
            return answer(client, -1, EINVAL);
        }
        done.urb = urb_data.release();
        done.buffer = buffer.release();
        state.completed.push_back(std::move(done));
        ++display->urbs_submitted;
        ++display->urbs_in_flight;
        return answer(client, 0);
    }

    // Hands back the oldest completed URB: its status and length, and the data of an IN transfer.
    static gboolean reap_one(UsbTestbed::Node& node, ClientState& state, UMockdevIoctlClient* client,
                             UMockdevIoctlData* arg) {
        if (state.completed.empty()) {
            return answer(client, -1, node.present ? EAGAIN : ENODEV);
        }
        CompletedUrb done = std::move(state.completed.front());
        state.completed.pop_front();
        std::memcpy(done.urb->data + offsetof(usbdevfs_urb, status), &done.status, sizeof done.status);
        std::memcpy(done.urb->data + offsetof(usbdevfs_urb, actual_length), &done.actual_length,
                    sizeof done.actual_length);
        if (!done.in_data.empty() && done.buffer != nullptr)
            std::memcpy(done.buffer->data, done.in_data.data(),
                        std::min(done.in_data.size(), static_cast<std::size_t>(done.buffer->data_len)));
        DataPtr where = resolve(arg, 0, sizeof(void*));
        if (!where) {
            state.completed.push_front(std::move(done));
            return answer(client, -1, EFAULT);
        }
        umockdev_ioctl_data_set_ptr(where.get(), 0, done.urb);
        if (node.display != nullptr) {
            ++node.display->urbs_reaped;
            --node.display->urbs_in_flight;
        }
        release_urb(done);
        return answer(client, 0);
    }
};

UsbTestbed*& UsbTestbed::the_instance() {
    static UsbTestbed* testbed = nullptr;
    return testbed;
}

UsbTestbed& UsbTestbed::instance() {
    // Lives as long as the process: libusb's default context, which watches this testbed's
    // bus, is let go only when the library is unloaded at exit.
    UsbTestbed*& testbed = the_instance();
    if (testbed == nullptr) testbed = new UsbTestbed();
    return *testbed;
}

void UsbTestbed::shutdown() {
    UsbTestbed* testbed = the_instance();
    if (testbed == nullptr || testbed->testbed_ == nullptr) return;
    testbed->reset(nullptr);
    // Destroying the testbed removes its directory; the process ends right after.
    g_object_unref(testbed->testbed_);
    testbed->testbed_ = nullptr;
}

UsbTestbed::UsbTestbed() {
    testbed_ = umockdev_testbed_new();
    // Only meaningful once a testbed exists.
    emulating_ = umockdev_in_mock_environment() != FALSE;
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
}

void UsbTestbed::reset(qv::Clock* clock) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock_ = clock;
        unknown_.clear();
        foreign_opens_ = 0;
        for (auto& node : nodes_) {
            for (auto& [client, state] : node->clients) HandlerAccess::drop_client_state(*node, state);
            node->display = nullptr;  // handles left from earlier see a dead device
        }
    }
    // Children before their hub: removing a hub takes its whole sysfs subtree along.
    for (auto it = nodes_.rbegin(); it != nodes_.rend(); ++it) {
        if (!(*it)->removed) remove_node(**it);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    displays_.clear();
}

std::string UsbTestbed::add_node(Node& node, const std::string& descriptors_hex, bool with_port) {
    char devnode[64];
    std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/%03u/%03u", node.bus, node.address);
    char sysdir[128];
    if (with_port)
        std::snprintf(sysdir, sizeof sysdir, "/devices/pci0000:00/0000:00:14.0/usb%u/%u-%u", node.bus, node.bus,
                      node.port);
    else
        std::snprintf(sysdir, sizeof sysdir, "/devices/pci0000:00/0000:00:14.0/usb%u", node.bus);
    node.devnode = devnode;
    node.syspath = std::string("/sys") + sysdir;
    node.owner = this;

    // The handler comes first: the node must answer from the moment it appears.
    node.handler = umockdev_ioctl_base_new();
    g_signal_connect(node.handler, "handle-ioctl", G_CALLBACK(&HandlerAccess::on_ioctl), &node);
    g_signal_connect(node.handler, "client-connected", G_CALLBACK(&HandlerAccess::on_connected), &node);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode, node.handler, &error)) {
        const std::string message = error != nullptr ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot attach the ioctl handler to " + std::string(devnode) + ": " + message);
    }

    char text[1024];
    std::snprintf(text, sizeof text,
                  "P: %s\n"
                  "N: %s\n"
                  "E: SUBSYSTEM=usb\n"
                  "E: DEVTYPE=usb_device\n"
                  "E: DRIVER=usb\n"
                  "E: DEVNAME=%s\n"
                  "E: BUSNUM=%03u\n"
                  "E: DEVNUM=%03u\n"
                  "A: busnum=%u\\n\n"
                  "A: devnum=%u\\n\n"
                  "A: speed=%s\\n\n"
                  "A: bConfigurationValue=1\\n\n"
                  "H: descriptors=%s\n",
                  sysdir, devnode + 5, devnode, node.bus, node.address, node.bus, node.address,
                  with_port ? "12" : "480", descriptors_hex.c_str());
    if (!umockdev_testbed_add_from_string(testbed_, text, &error)) {
        const std::string message = error != nullptr ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot add " + std::string(devnode) + ": " + message);
    }
    return node.syspath;
}

void UsbTestbed::remove_node(Node& node) {
    // The uevent first, while the device's properties can still be read: libusb learns of the
    // removal from it at its next device-list walk.
    umockdev_testbed_uevent(testbed_, node.syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, node.syspath.c_str());
    // No new handles on this node; handles still open keep talking to the handler.
    umockdev_testbed_detach_ioctl(testbed_, node.devnode.c_str(), nullptr);
    // A node made unopenable is a directory the testbed does not know about.
    const std::string path = root_ + node.devnode;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) rmdir(path.c_str());
    node.removed = true;
}

void UsbTestbed::add_root_hub(uint8_t bus) {
    auto node = std::make_unique<Node>();
    node->bus = bus;
    node->address = 1;
    node->vendor = 0x1d6b;
    node->product = 0x0002;
    add_node(*node, hex(root_hub_descriptors()), false);
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(std::move(node));
}

std::size_t UsbTestbed::add_display(uint8_t bus, uint8_t port, uint8_t address, const qv::sim::FirmwareConfig& config) {
    if (clock_ == nullptr) throw std::logic_error("reset() the testbed before adding displays");
    auto node = std::make_unique<Node>();
    node->bus = bus;
    node->port = port;
    node->address = address;
    node->vendor = QUORVEX_USB_VID;
    node->product = QUORVEX_USB_PID;
    node->is_display = true;
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        displays_.push_back(std::make_unique<EmulatedDisplay>(config, *clock_));
        node->display = displays_.back().get();
        index = displays_.size() - 1;
    }
    add_node(*node, hex(bridge_descriptors(node->vendor, node->product)), true);
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(std::move(node));
    return index;
}

void UsbTestbed::add_other_device(uint8_t bus, uint8_t port, uint8_t address, uint16_t vendor, uint16_t product) {
    auto node = std::make_unique<Node>();
    node->bus = bus;
    node->port = port;
    node->address = address;
    node->vendor = vendor;
    node->product = product;
    add_node(*node, hex(other_descriptors(vendor, product)), true);
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(std::move(node));
}

namespace {

UsbTestbed::Node* plugged_node(std::vector<std::unique_ptr<UsbTestbed::Node>>& nodes, EmulatedDisplay* display) {
    for (auto& n : nodes)
        if (n->display == display && !n->removed) return n.get();
    throw std::logic_error("the display is not plugged in");
}

}  // namespace

void UsbTestbed::unplug(std::size_t display) {
    Node* node = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        node = plugged_node(nodes_, displays_.at(display).get());
        node->present = false;
    }
    remove_node(*node);
}

void UsbTestbed::replug(std::size_t display, uint8_t new_address) {
    Node* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& n : nodes_)
            if (n->display == displays_.at(display).get()) old = n.get();
    }
    if (old == nullptr) throw std::logic_error("the display was never plugged in");
    if (!old->removed) unplug(display);
    auto node = std::make_unique<Node>();
    node->bus = old->bus;
    node->port = old->port;
    node->address = new_address;
    node->vendor = old->vendor;
    node->product = old->product;
    node->is_display = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        node->display = displays_.at(display).get();
        node->display->bridge.clear();  // the bridge lost power: nothing it held survives
    }
    add_node(*node, hex(bridge_descriptors(node->vendor, node->product)), true);
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(std::move(node));
}

void UsbTestbed::make_unopenable(std::size_t display) {
    Node* node = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        node = plugged_node(nodes_, displays_.at(display).get());
    }
    const std::string path = root_ + node->devnode;
    if (unlink(path.c_str()) != 0 || mkdir(path.c_str(), 0755) != 0)
        throw std::runtime_error("cannot replace " + path + " by a directory");
}

void UsbTestbed::with_display(std::size_t i, const std::function<void(EmulatedDisplay&)>& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    f(*displays_.at(i));
}

std::size_t UsbTestbed::display_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return displays_.size();
}

int UsbTestbed::open_device_files() const {
    const std::string prefix = root_ + "/dev/";
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (dirent* entry = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[4096];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (std::string(target).rfind(prefix, 0) == 0) ++count;
    }
    closedir(dir);
    return count;
}

std::size_t UsbTestbed::entries(const char* dir) {
    std::size_t count = 0;
    if (DIR* d = opendir(dir)) {
        while (const dirent* entry = readdir(d))
            if (entry->d_name[0] != '.') ++count;
        closedir(d);
    }
    return count;
}

std::size_t UsbTestbed::stable_entries(const char* dir) {
    std::size_t count = entries(dir);
    for (int same = 0, attempt = 0; same < 5 && attempt < 100; ++attempt) {
        usleep(10000);
        const std::size_t now = entries(dir);
        same = now == count ? same + 1 : 0;
        count = now;
    }
    return count;
}

std::size_t UsbTestbed::settled_entries(const char* dir, std::size_t expected) {
    std::size_t count = entries(dir);
    for (int attempt = 0; attempt < 100 && count != expected; ++attempt) {
        usleep(10000);
        count = entries(dir);
    }
    return count;
}

int UsbTestbed::foreign_opens() {
    std::lock_guard<std::mutex> lock(mutex_);
    return foreign_opens_;
}

std::vector<std::string> UsbTestbed::unknown_requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unknown_;
}

std::vector<std::pair<int, int>> UsbTestbed::libusb_listing(uint16_t vendor, uint16_t product) {
    std::vector<std::pair<int, int>> out;
    if (libusb_init(nullptr) != 0) return out;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(nullptr, &list);
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
        if (desc.idVendor == vendor && desc.idProduct == product)
            out.emplace_back(libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]));
    }
    if (list != nullptr) libusb_free_device_list(list, 1);
    libusb_exit(nullptr);
    return out;
}

}  // namespace qvtest
