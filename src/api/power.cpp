// The display's power, connectivity and maintenance settings. Plain settings are rows of
// table/power.def, expanded below into their exported functions; the two actions (internal
// processor power-off, factory reset) are set-only rows with no value.
#include "protocol/frame.h"
#include "quorvex.h"

namespace {

// The DisplayPort EDID and USB-C input settings exist only on monitor type 2. Any other type,
// or no display connected yet (0xFF), is refused at once and silently: nothing is validated
// and nothing is sent.
int qv_guard_MONITOR_TYPE_2(const char* /*function*/) {
    return gu8MonitorType == 2 ? RC_OK : RC_NOT_SUPPORTED;
}

}  // namespace

#include "protocol/table_gen.h"
#include "protocol/table/power.def"
#include "protocol/table_gen_end.h"
