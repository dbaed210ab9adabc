// The simulated display's test_pattern settings.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_test_pattern(Firmware& /*fw*/) {}

bool handle_test_pattern(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
