// State the pip firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct PipState {};

}  // namespace qv::sim
