// State the clock firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct ClockState {};

}  // namespace qv::sim
