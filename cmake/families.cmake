# The settings families are found, not listed. A family is its row file
# src/protocol/table/<family>.def and its firmware file sim/fw_<family>.cpp; from those two
# globs this writes, below ${CMAKE_BINARY_DIR}/generated:
#   protocol/table_rows.inc      the row files in table order, included into kSettings
#   protocol/table_families.h    the Family enum and family_name, from the Family::<name> the
#                                rows name (a row file may hold rows of more than one family)
#   sim/family_state.h           FamilyState: one member per firmware family, of the state type
#                                its registration line names
#   sim/family_list.h            kFamilies: every firmware family, in the order the firmware
#                                sets them up and offers them each request
#
# Table order is restore order (a profile is written back row by row), so it is fixed by a line
# `// table order: N` in each row file, smallest first, never by file names. The firmware's
# families follow the same numbers (the family of the row file of that name); a firmware
# family without a row file comes after them, by name.
#
# Each firmware file registers itself with one line,
#   QV_FIRMWARE_FAMILY(<family>, <State or NoState>, <settings>, <init>, <handle>);
# and a family whose state is not NoState declares that struct in sim/fw_<family>.h.
#
# Adding or removing a file re-runs this (the globs are CONFIGURE_DEPENDS); so does editing
# one, since an order line, a family name or a registration line may have changed. Files are
# rewritten only when their text changes.

set(QV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

file(GLOB qv_row_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/protocol/table/*.def)
file(GLOB qv_firmware_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/fw_*.cpp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${qv_row_files} ${qv_firmware_files})

function(qv_write_if_changed path text)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

# ---- the command table: row files in table order, and the families their rows name ----
set(qv_orders "")
foreach(path IN LISTS qv_row_files)
  get_filename_component(family ${path} NAME_WE)
  file(STRINGS ${path} order_lines REGEX "^// table order: [0-9]+ *$")
  list(LENGTH order_lines count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${path}: needs one line `// table order: N` (where its rows go in the "
                        "table, which is the order a profile restores them in)")
  endif()
  string(REGEX REPLACE "^// table order: ([0-9]+) *$" "\\1" order "${order_lines}")
  if(DEFINED qv_row_file_at_${order})
    message(FATAL_ERROR "${path} and ${qv_row_file_at_${order}} both have table order ${order}")
  endif()
  set(qv_row_file_at_${order} ${path})
  set(qv_order_of_${family} ${order})
  list(APPEND qv_orders ${order})
endforeach()
list(SORT qv_orders COMPARE NATURAL)

set(qv_rows_text "// Written by cmake/families.cmake: the row files in table order.\n")
set(qv_families "")
foreach(order IN LISTS qv_orders)
  set(path ${qv_row_file_at_${order}})
  get_filename_component(name ${path} NAME)
  string(APPEND qv_rows_text "#include \"protocol/table/${name}\"\n")
  file(READ ${path} rows)
  string(REGEX REPLACE "//[^\n]*" "" rows "${rows}")
  string(REGEX MATCHALL "Family::[A-Za-z0-9_]+" named "${rows}")
  foreach(token IN LISTS named)
    string(REPLACE "Family::" "" family ${token})
    list(APPEND qv_families ${family})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES qv_families)

list(JOIN qv_families ",\n    " qv_enum)
set(qv_names "")
foreach(family IN LISTS qv_families)
  string(REPLACE "_" "-" shown ${family})
  string(APPEND qv_names "        case Family::${family}: return \"${shown}\";\n")
endforeach()
qv_write_if_changed(${QV_GENERATED_DIR}/protocol/table_rows.inc "${qv_rows_text}")
qv_write_if_changed(${QV_GENERATED_DIR}/protocol/table_families.h
"// Written by cmake/families.cmake from the families the row files name.
#pragma once

#include <cstdint>

namespace qv {

enum class Family : uint8_t {
    ${qv_enum}
};

// The family as the tool shows it.
constexpr const char* family_name(Family f) {
    switch (f) {
${qv_names}    }
    return \"?\";
}

}  // namespace qv
")

# ---- the simulated display: one registration line per firmware file ----
set(qv_ordered "")
set(qv_unordered "")
foreach(path IN LISTS qv_firmware_files)
  file(STRINGS ${path} lines REGEX "^QV_FIRMWARE_FAMILY\\(")
  list(LENGTH lines count)
  if(NOT count EQUAL 1 OR NOT lines MATCHES "^QV_FIRMWARE_FAMILY\\(([a-z0-9_]+), *([A-Za-z0-9_]+),")
    message(FATAL_ERROR "${path}: needs one line `QV_FIRMWARE_FAMILY(family, State or NoState, "
                        "settings, init, handle);` at the start of a line")
  endif()
  set(family ${CMAKE_MATCH_1})
  set(qv_state_of_${family} ${CMAKE_MATCH_2})
  if(NOT qv_state_of_${family} STREQUAL "NoState" AND NOT EXISTS ${CMAKE_SOURCE_DIR}/sim/fw_${family}.h)
    message(FATAL_ERROR "${path}: its state ${qv_state_of_${family}} belongs in sim/fw_${family}.h")
  endif()
  if(DEFINED qv_order_of_${family})
    set(qv_firmware_at_${qv_order_of_${family}} ${family})
    list(APPEND qv_ordered ${qv_order_of_${family}})
  else()
    list(APPEND qv_unordered ${family})
  endif()
endforeach()
list(SORT qv_ordered COMPARE NATURAL)
list(SORT qv_unordered)
set(qv_firmware_families "")
foreach(order IN LISTS qv_ordered)
  list(APPEND qv_firmware_families ${qv_firmware_at_${order}})
endforeach()
list(APPEND qv_firmware_families ${qv_unordered})

set(qv_state_includes "")
set(qv_state_members "")
set(qv_declarations "")
set(qv_entries "")
foreach(family IN LISTS qv_firmware_families)
  if(NOT qv_state_of_${family} STREQUAL "NoState")
    string(APPEND qv_state_includes "#include \"sim/fw_${family}.h\"\n")
  endif()
  string(APPEND qv_state_members "    ${qv_state_of_${family}} ${family};\n")
  string(APPEND qv_declarations "extern const FamilyFirmware ${family}_firmware;\n")
  string(APPEND qv_entries "    &${family}_firmware,\n")
endforeach()
qv_write_if_changed(${QV_GENERATED_DIR}/sim/family_state.h
"// Written by cmake/families.cmake from the firmware files' registration lines.
#pragma once

${qv_state_includes}
namespace qv::sim {

// A family that keeps nothing beyond its stored setting payloads.
struct NoState {};

// What each family's firmware keeps beyond the stored setting payloads.
struct FamilyState {
${qv_state_members}};

}  // namespace qv::sim
")
qv_write_if_changed(${QV_GENERATED_DIR}/sim/family_list.h
"// Written by cmake/families.cmake from the firmware files' registration lines.
#pragma once

#include \"sim/display_settings.h\"

namespace qv::sim {

${qv_declarations}
inline constexpr const FamilyFirmware* kFamilies[] = {
${qv_entries}};

}  // namespace qv::sim
")
