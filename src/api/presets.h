// What other families need of the presets and calibration family.
#pragma once

namespace qv {

// Calibration is enabled on the display. A failed query counts as not enabled; the query
// prints its own lines either way. Calibration runs and the XML-driven calibration need it.
bool calibration_enabled();

}  // namespace qv
