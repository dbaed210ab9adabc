// State the colour firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct ColourState {};

}  // namespace qv::sim
