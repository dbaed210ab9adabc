#include "display.h"

#include <cstdlib>
#include <cstring>

#include "output.h"
#include "quorvex.h"

namespace qvctl {

int scan_displays(std::vector<std::string>* serials) {
    char table[MAX_DISPLAYS * 12] = {};
    const int n = Scan(table);
    serials->clear();
    if (n == RC_NO_DEVICES) return fail(kExitNoDisplay, "no display found");
    // With simulated displays no USB is involved: the library refuses their configuration
    // (and has said why on standard error).
    const char* simulate = std::getenv("QUORVEX_SIMULATE");
    if (n == RC_USB_UNAVAILABLE && simulate != nullptr && simulate[0] != '\0')
        return fail(kExitUsage, "the simulated displays' configuration (QUORVEX_SIMULATE or --simulate) is not valid");
    if (n < 0) return fail_rc("scan", n);
    for (int i = 0; i < n && i < MAX_DISPLAYS; ++i) serials->emplace_back(table + 12 * i, strnlen(table + 12 * i, 11));
    return kExitOk;
}

int connect_slot(int slot, std::size_t found) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= found)
        return fail(kExitNoDisplay, "no display in slot " + std::to_string(slot) + " (" + std::to_string(found) + " found)");
    if (const int rc = Connect(static_cast<int8_t>(slot)); rc != RC_OK) {
        Disconnect();
        return fail_rc("connect to slot " + std::to_string(slot), rc);
    }
    return kExitOk;
}

int connect_target(const Target& target, int* slot) {
    std::vector<std::string> serials;
    if (const int status = scan_displays(&serials); status != kExitOk) return status;
    *slot = target.slot;
    if (!target.serial.empty()) {
        *slot = -1;
        for (std::size_t i = 0; i < serials.size(); ++i)
            if (serials[i] == target.serial) *slot = static_cast<int>(i);
        if (*slot < 0) return fail(kExitNoDisplay, "no display with serial number " + shown(target.serial));
    }
    return connect_slot(*slot, serials.size());
}

void disconnect() {
    if (ConnectFlag == 1 || g_glimmetHandle != nullptr) Disconnect();
}

}  // namespace qvctl
