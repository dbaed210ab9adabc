// The display's clock settings. Plain settings are rows of table/clock.def, expanded below into
// their exported functions; the functions that depart from the frame follow, each by name.
#include "protocol/table_gen.h"
#include "protocol/table/clock.def"
#include "protocol/table_gen_end.h"
