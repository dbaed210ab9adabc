// The text that configures the simulated bus, as given in QUORVEX_SIMULATE.
//
// A comma-separated list of key=value items (blanks around items are ignored):
//   displays=N     number of displays on the bus, 0..4 (default 1); a bare N means the same
//   type=T         monitor type of every display, 0..255 (default 2)
//   typeK=T        monitor type of display K (1..4)
//   serialK=S      serial number of display K: exactly 10 letters, digits or '-'
//                  (default QVSIM0000K)
//   mode=M         active timing of every display's main picture: WIDTHxHEIGHT (e.g. 3840x2160)
//                  or "none" for no signal (default 3840x2160)
//   modeK=M        the same for display K
//   clock=C        "real" (pauses take real time; default) or "virtual" (pauses return at once)
//   refuse-chunk=N the display refuses its n-th chunk request of a transfer (upload or download,
//                  1 being the first since the bus was built) with status 2, once; 0 never
//                  (default). refuse-chunkK=N: display K only
//   state=FILE     keep the displays' settings in FILE: loaded when it exists, saved after
//                  every change (see sim_state_file.h)
//   calibration-seconds=N
//                  the calibration commands answer after N seconds, 0..86400 (virtual
//                  seconds with clock=virtual), the IN transfer waiting for the answer; by
//                  default they take the display's own minutes and reads find nothing meanwhile
// Examples: "displays=3,type=2", "2", "displays=2,serial2=ABCDEFGHIJ,type1=1,clock=virtual".
// Keys are applied in order; per-display keys may name displays beyond the count (ignored).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gadget_usb/usb_backend.h"
#include "sim/firmware.h"

namespace qv::sim {

struct SimConfig {
    std::vector<FirmwareConfig> displays;
    bool virtual_clock = false;
    std::string state_file;  // empty: nothing is kept between processes
};

// A piece of the configuration text as an error message may show it: bounded in length, with
// control characters escaped.
std::string shown_text(std::string_view text);

// Parses a configuration; on a malformed text returns false and says why in *error.
bool parse_sim_config(std::string_view text, SimConfig* config, std::string* error);

// The simulated bus that QUORVEX_SIMULATE describes, kept for the life of the process (the
// displays keep their settings between scans). A changed text builds a new bus. Returns nullptr
// with *error set when the text is malformed. Installs the virtual clock when asked for.
UsbBackend* environment_bus(std::string_view text, std::string* error);

}  // namespace qv::sim
