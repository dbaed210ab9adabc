// The display's image settings. Plain settings are rows of table/image.def, expanded below into
// their exported functions; the functions that depart from the frame follow, each by name.
#include "protocol/table_gen.h"
#include "protocol/table/image.def"
#include "protocol/table_gen_end.h"
