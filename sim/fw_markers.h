// State the markers firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct MarkersState {};

}  // namespace qv::sim
