// State the power firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct PowerState {};

}  // namespace qv::sim
