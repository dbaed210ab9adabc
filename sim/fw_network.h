// State the network firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct NetworkState {};

}  // namespace qv::sim
