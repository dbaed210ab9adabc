// The simulated display's identity settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_identity(Firmware& /*fw*/) {}

bool handle_identity(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
