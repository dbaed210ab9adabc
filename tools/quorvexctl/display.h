// Finding and connecting the display a command is for.
#pragma once

#include <string>
#include <vector>

namespace qvctl {

struct Target {
    int slot = 0;
    std::string serial;  // when given, the display with this serial number, whatever its slot
};

// Scans the bus; on failure prints why and returns the exit status (else 0).
int scan_displays(std::vector<std::string>* serials);
// Scans and connects the target; *slot receives the slot connected. Prints why on failure.
int connect_target(const Target& target, int* slot);
// Connects a slot of the last scan; prints why on failure.
int connect_slot(int slot, std::size_t found);
// Disconnects when something is connected (at exit too).
void disconnect();

}  // namespace qvctl
