// The simulated display's colour settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_colour(Firmware& /*fw*/) {}

bool handle_colour(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
