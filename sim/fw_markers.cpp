// The simulated display's markers settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_markers(Firmware& /*fw*/) {}

bool handle_markers(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
