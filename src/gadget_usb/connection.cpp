// Discovery and connection: finds displays on the bus, opens, programs and claims one, and
// holds the process-wide connection state.
#include <cstdio>
#include <cstring>

#include "gadget_usb/baud.h"
#include "gadget_usb/link.h"
#include "gadget_usb/usb_backend.h"
#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

extern "C" {
QV_API int ConnectFlag = 0;
QV_API struct libusb_device_handle* g_glimmetHandle = nullptr;
QV_API uint8_t m_claimed_interface = 0;
QV_API int8_t bus_num[5] = {0, 0, 0, 0, 0};
QV_API int8_t dev_num[5] = {0, 0, 0, 0, 0};
QV_API int8_t conn_bus_num = 0;
QV_API int8_t conn_dev_num = 0;
QV_API int baudrate = 115200;
QV_API uint8_t gu8MonitorType = 0xFF;
}

namespace qv {

UsbHandle* link_handle() { return reinterpret_cast<UsbHandle*>(g_glimmetHandle); }

namespace {

constexpr uint16_t kDisplayVendor = QUORVEX_USB_VID;
constexpr uint16_t kDisplayProduct = QUORVEX_USB_PID;
constexpr unsigned kControlTimeoutMs = 5000;
constexpr int kDrainSize = 128;

// Products in 32-bit signed arithmetic as the bridge tolerance rule states them; computed
// unsigned so that a host's extreme baudrate wraps instead of overflowing.
int32_t times(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

bool baud_unsupported(int achieved, int wanted) {
    if (times(achieved, 2) < wanted) return true;
    if (achieved < wanted) return times(achieved, 21) < times(wanted, 20);
    return times(wanted, 21) < times(achieved, 20);
}

void program_baud_rate() {
    uint16_t value = 0;
    uint16_t index = 0;
    const int achieved = convert_baudrate(baudrate, &value, &index);
    if (achieved <= 0) log_line("Silly baudrate <= 0.");
    if (baud_unsupported(achieved, baudrate))
        log_line("Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4");
    // A rate the rule cannot encode still programs the bridge, with value 0 and index 0.
    if (usb().control_transfer(link_handle(), kBaudRequestType, kBaudRequest, value, index, nullptr,
                               0, kControlTimeoutMs) < 0)
        log_line("Setting new baudrate failed");
}

bool is_display(UsbDevice* dev, const char* function) {
    uint16_t vendor = 0;
    uint16_t product = 0;
    const int rc = usb().get_device_descriptor(dev, &vendor, &product);
    if (rc < 0) {
        log("<INFO> %s: Failed to get device descriptor. %d\n", function, rc);
        return false;
    }
    return vendor == kDisplayVendor && product == kDisplayProduct;
}

}  // namespace
}  // namespace qv

extern "C" {

QV_API int GetDisplaySerialNumber(char* serialNumber) noexcept {
    if (serialNumber == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetDisplaySerialNumber", packet, 11, 0); rc != RC_OK) return rc;
    std::memcpy(serialNumber, packet + qv::kPayload, 10);
    serialNumber[10] = '\0';
    qv::log("Serial Number is %s \n", serialNumber);
    return RC_OK;
}

QV_API int GetMonitorType(uint8_t* monitorType) noexcept {
    if (monitorType == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    // Both failures are RC_FAILED here; a refusal prints "RegUsbApi Status Failed.".
    if (qv::exchange_get("GetMonitorType", packet, 20, 0, qv::StatusLine::status) != RC_OK) return RC_FAILED;
    *monitorType = packet[qv::kPayload];
    qv::log_always("Moniter Type is %d\n", static_cast<int>(*monitorType));
    return RC_OK;
}

QV_API int Disconnect(void) noexcept {
    if (g_glimmetHandle != nullptr) {
        if (m_claimed_interface == 1) {
            const int rc = qv::usb().release_interface(qv::link_handle(), qv::kInterface);
            if (rc != 0) {
                qv::log("<ERROR> %s: Failed to release usb interface. Error=%d\n", "Disconnect", rc);
                // Busy counts as done; nothing changes on this path.
                return rc == qv::USB_ERROR_BUSY ? RC_OK : RC_FAILED;
            }
        }
        qv::usb().close(qv::link_handle());
        m_claimed_interface = 0;
        g_glimmetHandle = nullptr;
    }
    qv::log("<INFO> %s: Successfully Closed the usb interface.\n", "Disconnect");
    ConnectFlag = 0;
    return RC_OK;
}

QV_API int Connect(int8_t slot) noexcept {
    if (slot < 0 || slot >= MAX_DISPLAYS) return RC_INVALID_ARGUMENT;
    if (ConnectFlag == 1) {
        ConnectFlag = 0;
        Disconnect();
    }
    // Without an earlier Scan, start the USB library here; the recorded slot is looked up as
    // usual (with nothing recorded, no device matches).
    if (!qv::usb_initialised()) {
        if (qv::select_and_init_usb() != RC_OK) return RC_USB_UNAVAILABLE;
    }
    conn_bus_num = bus_num[slot];
    conn_dev_num = dev_num[slot];

    qv::UsbBackend& usb = qv::usb();
    qv::UsbDevice** list = nullptr;
    const ssize_t count = usb.get_device_list(&list);
    if (count <= 0) {
        qv::log("<ERROR> %s: Error enumerating devices.\n", "Connect");
        if (list != nullptr) usb.free_device_list(list);
        return RC_ENUMERATION_FAILED;
    }
    qv::UsbDevice* chosen = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
        qv::UsbDevice* dev = list[i];
        const bool display = qv::is_display(dev, "Connect");
        const auto bus = static_cast<int8_t>(usb.get_bus_number(dev));
        const auto address = static_cast<int8_t>(usb.get_device_address(dev));
        if (display && bus == conn_bus_num && address == conn_dev_num) {
            qv::log("<INFO> %s: Found Device on bus %03d and addr %03d.\n", "Connect", bus, address);
            chosen = dev;
            break;
        }
    }
    if (chosen == nullptr) {
        qv::log("<INFO> %s: No Devices Found.\n", "Connect");
        usb.free_device_list(list);
        return RC_NOT_FOUND;
    }

    // A handle left open (a claim that failed, a release that failed) is closed first.
    if (g_glimmetHandle != nullptr) {
        usb.close(qv::link_handle());
        g_glimmetHandle = nullptr;
        m_claimed_interface = 0;
    }
    qv::UsbHandle* handle = nullptr;
    const int open_rc = usb.open(chosen, &handle);
    if (open_rc != 0) {
        qv::log("<ERROR> %s: libusb_open failed. %d\n", "Connect", open_rc);
        std::perror(":");
        usb.free_device_list(list);
        return RC_USB_UNAVAILABLE;
    }
    g_glimmetHandle = reinterpret_cast<libusb_device_handle*>(handle);
    qv::log("<Open Success> %s: libusb_open Success. %d\n", "Connect", 0);

    qv::program_baud_rate();
    usb.free_device_list(list);

    if (usb.kernel_driver_active(handle, qv::kInterface) == 1)
        usb.detach_kernel_driver(handle, qv::kInterface);

    if (usb.claim_interface(handle, qv::kInterface) != 0) {
        qv::log("<ERROR> %s: Claiming interface failed\n", "Connect");
        return RC_CLAIM_FAILED;
    }
    m_claimed_interface = 1;
    qv::log("<Open Success> %s: libusb_claim_interface Success. %d\n", "Connect", 0);
    ConnectFlag = 1;

    // Drain whatever the bridge still holds from an earlier session (timeout 0: no limit).
    uint8_t drain[qv::kDrainSize];
    int drained = 0;
    if (usb.bulk_transfer(handle, 0x81, drain, qv::kDrainSize, &drained, 0) < 0) return RC_FAILED;

    if (GetMonitorType(&gu8MonitorType) != RC_OK) return RC_MONITOR_TYPE_FAILED;
    return RC_OK;
}

QV_API int Scan(char* serialNumbers) noexcept {
    if (serialNumbers == nullptr) return RC_INVALID_ARGUMENT;
    int found = 0;
    if (qv::select_and_init_usb() != RC_OK) {
        qv::log("<ERROR> %s: Can't open libusb.\n", "Scan");
        return RC_USB_UNAVAILABLE;
    }
    qv::UsbBackend& usb = qv::usb();
    qv::UsbDevice** list = nullptr;
    const ssize_t count = usb.get_device_list(&list);
    if (count <= 0) {
        qv::log("<ERROR> %s: Error enumerating devices.\n", "Scan");
        if (list != nullptr) usb.free_device_list(list);
        return RC_ENUMERATION_FAILED;
    }
    for (ssize_t i = 0; i < count; ++i) {
        qv::UsbDevice* dev = list[i];
        uint16_t vendor = 0;
        uint16_t product = 0;
        const int rc = usb.get_device_descriptor(dev, &vendor, &product);
        if (rc < 0) {
            qv::log("<INFO> %s: Failed to get device descriptor. %d\n", "Scan", rc);
            continue;
        }
        if (vendor != qv::kDisplayVendor || product != qv::kDisplayProduct) continue;

        const auto bus = static_cast<int8_t>(usb.get_bus_number(dev));
        const auto address = static_cast<int8_t>(usb.get_device_address(dev));
        bus_num[found] = bus;
        conn_bus_num = bus;
        dev_num[found] = address;
        conn_dev_num = address;
        qv::log("<INFO> %s: VID=%04x PID=%04x\n", "Scan", vendor, product);
        qv::log("<INFO> %s: Found Device on bus %03d and addr %03d.\n", "Scan", bus_num[found],
                dev_num[found]);

        if (Connect(static_cast<int8_t>(found)) < 0) continue;
        const int serial_rc = GetDisplaySerialNumber(serialNumbers + 12 * found);
        Disconnect();
        if (serial_rc == RC_OK) ++found;
        if (found == MAX_DISPLAYS) {
            qv::log("Warning: Maximum Limit reached. Maximum number of connected displays supported is %d \n",
                    MAX_DISPLAYS);
            break;
        }
    }
    usb.free_device_list(list);
    return found == 0 ? RC_NO_DEVICES : found;
}

}  // extern "C"
