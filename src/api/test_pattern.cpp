// The display's test_pattern settings. Plain settings are rows of table/test_pattern.def, expanded below into
// their exported functions; the functions that depart from the frame follow, each by name.
#include "protocol/table_gen.h"
#include "protocol/table/test_pattern.def"
#include "protocol/table_gen_end.h"
