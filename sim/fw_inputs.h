// State the inputs firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct InputsState {};

}  // namespace qv::sim
