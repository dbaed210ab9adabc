// State the link firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct LinkState {};

}  // namespace qv::sim
