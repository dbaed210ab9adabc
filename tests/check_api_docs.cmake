# Runs Doxygen over the public header with the project's configuration and fails on any
# warning: an undocumented export, a @param naming no parameter, a half-documented parameter
# list. Then runs it over a copy of the header with one undocumented export added, which must
# fail and name that export, so the first run cannot pass for a check that never bites.
# -DDOXYGEN=<doxygen> -DDOXYFILE=<configured Doxyfile> -DHEADER=<quorvex.h> -DWORK=<scratch dir>

# Runs Doxygen on `input` with the project's settings, output below `out`.
function(run_doxygen input out rc_var errors_var)
  file(REMOVE_RECURSE ${out})
  file(MAKE_DIRECTORY ${out})
  file(WRITE ${out}/Doxyfile "@INCLUDE = ${DOXYFILE}\nINPUT = ${input}\nOUTPUT_DIRECTORY = ${out}\n")
  execute_process(COMMAND ${DOXYGEN} ${out}/Doxyfile
    RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  set(${rc_var} ${rc} PARENT_SCOPE)
  set(${errors_var} "${output}${errors}" PARENT_SCOPE)
endfunction()

run_doxygen(${HEADER} ${WORK}/header rc errors)
if(NOT rc EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "Doxygen reports problems in ${HEADER} (exit ${rc}):\n${errors}")
endif()

# The probe: an export declared the way every export is, without documentation, inside the
# last family. The copy keeps the header's name, which its @file block names.
set(probe_name QvUndocumentedProbe)
set(anchor "QV_API int PerformTintwiseCalibration(void) QV_NOEXCEPT;\n")
file(READ ${HEADER} text)
string(FIND "${text}" "${anchor}" at)
if(at LESS 0)
  message(FATAL_ERROR "cannot place the probe: '${anchor}' is not in ${HEADER}")
endif()
string(REPLACE "${anchor}" "${anchor}QV_API int ${probe_name}(int value) QV_NOEXCEPT;\n" text "${text}")
file(WRITE ${WORK}/probe/include/quorvex.h "${text}")
run_doxygen(${WORK}/probe/include/quorvex.h ${WORK}/probe/out rc errors)
if(rc EQUAL 0 OR NOT errors MATCHES "${probe_name}")
  message(FATAL_ERROR "an undocumented export went unreported (exit ${rc}):\n${errors}")
endif()
message(STATUS "every export is documented; an undocumented one is reported")
