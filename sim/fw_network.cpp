// The simulated display's network settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_network(Firmware& /*fw*/) {}

bool handle_network(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
