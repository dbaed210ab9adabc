// The display's identity settings. Plain settings are rows of table/identity.def, expanded below into
// their exported functions; the functions that depart from the frame follow, each by name.
#include "protocol/table_gen.h"
#include "protocol/table/identity.def"
#include "protocol/table_gen_end.h"
