// The simulated display's inputs settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_inputs(Firmware& /*fw*/) {}

bool handle_inputs(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
