// The simulated display's image settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_image(Firmware& /*fw*/) {}

bool handle_image(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
