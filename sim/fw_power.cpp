// The simulated display's power settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_power(Firmware& /*fw*/) {}

bool handle_power(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
