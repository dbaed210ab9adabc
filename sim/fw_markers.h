// State the markers firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

// The marker records ("markers", "pip-markers") and colours are stored settings; a test puts
// a 2 into a stored record to show a marker the display reports in its own state.
struct MarkersState {};

}  // namespace qv::sim
