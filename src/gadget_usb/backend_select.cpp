// Which USB the library talks to: an installed backend (tests); the simulated bus when
// QUORVEX_SIMULATE is set and not empty; the real bus through libusb when QUORVEX_DIRECT is 1;
// the broker at QUORVEX_SOCKET when that is set; a broker at the system's socket or the
// session's when one answers there; otherwise the real bus through libusb.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gadget_usb/link_wire.h"
#include "gadget_usb/usb_backend.h"
#include "quorvex.h"
#include "sim/sim_config.h"

namespace qv {
namespace {

UsbBackend* g_installed = nullptr;
UsbBackend* g_active = nullptr;
bool g_initialised = false;

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// A broker at one of the usual places, if one takes the connection. *refused: one took it but
// refused the session (and said so on standard error).
UsbBackend* usual_broker(const std::vector<std::string>& paths, bool* refused) {
    for (const std::string& path : paths) {
        const char* error = nullptr;
        bool answered = false;
        if (UsbBackend* b = broker_backend(path.c_str(), &error, &answered)) return b;
        if (answered) {
            std::fprintf(stderr, "quorvex: the display broker at '%s' refused: %s\n", path.c_str(), error);
            *refused = true;
            return nullptr;
        }
    }
    return nullptr;
}

int fail() {
    g_initialised = false;
    return RC_USB_UNAVAILABLE;
}

}  // namespace

UsbBackend& usb() { return g_active ? *g_active : libusb_backend(); }

bool usb_initialised() { return g_initialised; }

void install_usb_backend(UsbBackend* backend) {
    g_installed = backend;
    g_active = backend;
    g_initialised = false;
}

int select_and_init_usb() {
    UsbBackend* chosen = g_installed;
    if (chosen == nullptr) {
        const char* direct = std::getenv("QUORVEX_DIRECT");
        if (set("QUORVEX_SIMULATE")) {
            const char* setting = std::getenv("QUORVEX_SIMULATE");
            broker_clock_release();
            std::string error;
            chosen = sim::environment_bus(setting, &error);
            if (chosen == nullptr) {
                // A configuration mistake: never fall back to real hardware.
                std::fprintf(stderr, "quorvex: QUORVEX_SIMULATE='%s' is not valid: %s\n",
                             sim::shown_text(setting).c_str(), error.c_str());
                return fail();
            }
        } else if (direct != nullptr && std::string(direct) == "1") {
            chosen = &libusb_backend();
        } else {
            bool named = false;
            const std::vector<std::string> paths = link::broker_sockets(&named);
            if (named) {
                const char* error = nullptr;
                bool answered = false;
                chosen = broker_backend(paths[0].c_str(), &error, &answered);
                if (chosen == nullptr) {
                    // The broker asked for is not there: never reach for the displays behind its back.
                    std::fprintf(stderr,
                                 answered ? "quorvex: the display broker at QUORVEX_SOCKET='%s' refused: %s\n"
                                          : "quorvex: no display broker at QUORVEX_SOCKET='%s': %s\n",
                                 sim::shown_text(paths[0]).c_str(), error);
                    return fail();
                }
            } else {
                bool refused = false;
                chosen = usual_broker(paths, &refused);
                if (refused) return fail();
                if (chosen == nullptr) chosen = &libusb_backend();
            }
        }
        if (chosen == &libusb_backend()) broker_clock_release();
    }
    g_active = chosen;
    if (chosen->init() != 0) return fail();
    g_initialised = true;
    return RC_OK;
}

}  // namespace qv
