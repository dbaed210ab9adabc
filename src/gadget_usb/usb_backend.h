// The USB operations the library needs, behind one small interface.
//
// Production code reaches libusb-1.0 only through LibusbBackend (libusb_backend.cpp, the one
// file that names libusb). The simulated bus in sim/ implements the same interface, so the
// connection, port and protocol code run unchanged against either.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace qv {

struct UsbDevice;  // opaque: a device on the bus (libusb_device for the real bus)
struct UsbHandle;  // opaque: an open device (libusb_device_handle for the real bus)

// Error codes the backends return; they are libusb's own values.
enum UsbError : int {
    USB_SUCCESS = 0,
    USB_ERROR_IO = -1,
    USB_ERROR_INVALID_PARAM = -2,
    USB_ERROR_ACCESS = -3,
    USB_ERROR_NO_DEVICE = -4,
    USB_ERROR_NOT_FOUND = -5,
    USB_ERROR_BUSY = -6,
    USB_ERROR_TIMEOUT = -7,
    USB_ERROR_OVERFLOW = -8,
    USB_ERROR_PIPE = -9,
    USB_ERROR_NO_MEM = -11,
    USB_ERROR_NOT_SUPPORTED = -12,
    USB_ERROR_OTHER = -99,
};

class UsbBackend {
public:
    virtual ~UsbBackend() = default;

    virtual int init() = 0;
    virtual ssize_t get_device_list(UsbDevice*** list) = 0;
    virtual void free_device_list(UsbDevice** list) = 0;
    virtual int get_device_descriptor(UsbDevice* dev, uint16_t* vendor, uint16_t* product) = 0;
    virtual uint8_t get_bus_number(UsbDevice* dev) = 0;
    virtual uint8_t get_device_address(UsbDevice* dev) = 0;
    virtual int open(UsbDevice* dev, UsbHandle** handle) = 0;
    virtual void close(UsbHandle* handle) = 0;
    virtual int kernel_driver_active(UsbHandle* handle, int interface) = 0;
    virtual int detach_kernel_driver(UsbHandle* handle, int interface) = 0;
    virtual int claim_interface(UsbHandle* handle, int interface) = 0;
    virtual int release_interface(UsbHandle* handle, int interface) = 0;
    virtual int control_transfer(UsbHandle* handle, uint8_t request_type, uint8_t request,
                                 uint16_t value, uint16_t index, uint8_t* data, uint16_t length,
                                 unsigned timeout_ms) = 0;
    virtual int bulk_transfer(UsbHandle* handle, uint8_t endpoint, uint8_t* data, int length,
                              int* transferred, unsigned timeout_ms) = 0;

    // The exchange code marks where an exchange begins (before its write, with the timeout of
    // the read that follows a successful write) and where it ends. A bus shared with other
    // programs keeps an exchange whole; a bus of its own ignores the marks.
    virtual void begin_exchange(UsbHandle* /*handle*/, unsigned /*read_timeout_ms*/) {}
    virtual void end_exchange(UsbHandle* /*handle*/) {}
};

// The real bus through libusb-1.0's default context.
UsbBackend& libusb_backend();
// Device handles the libusb backend has opened and not yet closed.
std::size_t libusb_open_handles();
// What the library does when it is unloaded: closes the display left open (the connection
// state forgets it) and gives back the library's references to libusb's default context. A
// later call starts the context again.
void libusb_release();

// The displays as a broker (quorvexd) lends them, over its socket at `path`: connects (or
// keeps the connection it has there) and starts a session. Returns nullptr when nothing
// answers there or the broker refuses the session; *error then says why, and *answered
// whether a broker took the connection.
UsbBackend* broker_backend(const char* path, const char** error, bool* answered);
// Gives the pauses back to the real clock if the broker's virtual clock has them (another
// backend takes over).
void broker_clock_release();

// The backend in use. Until a Scan (or a Connect that initialises) selects one, it is libusb.
UsbBackend& usb();

// Selects the backend for a Scan or a first Connect and initialises it: a backend installed with
// install_usb_backend() if any, else the simulated bus when QUORVEX_SIMULATE is set and not
// empty, else libusb when QUORVEX_DIRECT is 1, else the broker at QUORVEX_SOCKET when that is
// set, else a broker at the system's socket or the session's if one accepts a connection,
// else libusb. Returns 0, or RC_USB_UNAVAILABLE when the chosen backend cannot start (a
// malformed QUORVEX_SIMULATE, or no broker at QUORVEX_SOCKET, included; it never falls back to
// another backend then).
int select_and_init_usb();

// True once select_and_init_usb() has succeeded in this process.
bool usb_initialised();

// Tests and tools install their own backend (nullptr goes back to automatic selection).
void install_usb_backend(UsbBackend* backend);

}  // namespace qv
