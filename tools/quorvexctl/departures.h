// The shapes of the command table's departure rows: what their functions take and give, as
// fields, and the codecs that call them. A row is matched to its shape by the function it
// names, so a new row of an existing shape (another function button) needs nothing here.
#pragma once

#include "settings.h"

namespace qvctl {

// Fills in type, fields, guards and codecs of a departure row's setting; false when no shape
// here takes the row's functions (the build checks that this never happens).
bool describe_departure(Setting* s);

}  // namespace qvctl
