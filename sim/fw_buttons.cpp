// The simulated display's buttons settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_buttons(Firmware& /*fw*/) {}

bool handle_buttons(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
