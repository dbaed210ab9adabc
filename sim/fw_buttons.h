// State the buttons firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct ButtonsState {};

}  // namespace qv::sim
