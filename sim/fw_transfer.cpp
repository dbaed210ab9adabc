// The simulated display's transfer settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_transfer(Firmware& /*fw*/) {}

bool handle_transfer(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
