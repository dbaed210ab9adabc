// The simulated display's pip settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_pip(Firmware& /*fw*/) {}

bool handle_pip(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
