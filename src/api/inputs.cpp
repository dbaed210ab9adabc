// The display's inputs settings. Plain settings are rows of table/inputs.def, expanded below into
// their exported functions; the functions that depart from the frame follow, each by name.
#include "protocol/table_gen.h"
#include "protocol/table/inputs.def"
#include "protocol/table_gen_end.h"
