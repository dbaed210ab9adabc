// The shared library is linked from the objects of quorvex_core; this file only gives the target a source.
