# Writes the linker version script OUT_MAP: every name HEADER declares with QV_API is global,
# everything else local.
include(${CMAKE_CURRENT_LIST_DIR}/header_exports.cmake)
header_exports(${HEADER} names)
set(map "{\n  global:\n")
foreach(n IN LISTS names)
  string(APPEND map "    ${n};\n")
endforeach()
string(APPEND map "  local:\n    *;\n};\n")
file(WRITE ${OUT_MAP} "${map}")
