// Which USB the library talks to: an installed backend (tests), the simulated bus when
// QUORVEX_SIMULATE is set and not empty, otherwise the real bus through libusb.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gadget_usb/usb_backend.h"
#include "quorvex.h"
#include "sim/sim_config.h"

namespace qv {
namespace {

UsbBackend* g_installed = nullptr;
UsbBackend* g_active = nullptr;
bool g_initialised = false;

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
        const char* setting = std::getenv("QUORVEX_SIMULATE");
        if (setting != nullptr && setting[0] != '\0') {
            std::string error;
            chosen = sim::environment_bus(setting, &error);
            if (chosen == nullptr) {
                // A configuration mistake: never fall back to real hardware.
                std::fprintf(stderr, "quorvex: QUORVEX_SIMULATE='%s' is not valid: %s\n",
                             sim::shown_text(setting).c_str(), error.c_str());
                g_initialised = false;
                return RC_USB_UNAVAILABLE;
            }
        } else {
            chosen = &libusb_backend();
        }
    }
    g_active = chosen;
    if (chosen->init() != 0) {
        g_initialised = false;
        return RC_USB_UNAVAILABLE;
    }
    g_initialised = true;
    return RC_OK;
}

}  // namespace qv
