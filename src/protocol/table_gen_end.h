// Closes an expansion started with table_gen.h.
#undef QV_RW_GUARDED
#undef QV_RW
#undef QV_RO
#undef QV_WO
#undef QV_DEPARTURE
