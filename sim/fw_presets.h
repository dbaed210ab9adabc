// State the presets firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct PresetsState {};

}  // namespace qv::sim
