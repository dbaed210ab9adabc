// The simulated display's clock settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_clock(Firmware& /*fw*/) {}

bool handle_clock(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
