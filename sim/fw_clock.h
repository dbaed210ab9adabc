// The simulated display's clock and on-screen menu. Every value lives in the per-setting store;
// these helpers read and write the two multi-value settings in their wire layout, so a test can
// put the display in any state before a call.
#pragma once

#include <cstdint>

#include "quorvex.h"

namespace qv::sim {

class Firmware;

DateTimeRecord date_time(Firmware& fw);
void set_date_time(Firmware& fw, const DateTimeRecord& record);
void set_osd_position(Firmware& fw, int16_t x, int16_t y);

// Whether the display takes this date and time: every field in range and the day within
// its month (29 February only in a leap year).
bool date_time_acceptable(const DateTimeRecord& record);

}  // namespace qv::sim
