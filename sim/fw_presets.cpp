// The simulated display's presets settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_presets(Firmware& /*fw*/) {}

bool handle_presets(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
