# quorvexctl --simulate info prints the simulated display's identity and nothing else on stdout.
execute_process(COMMAND ${TOOL} --simulate "displays=2,serial2=CLITEST002,type2=1,clock=virtual" --display 1 info
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "info failed (${rc}): ${err}")
endif()
set(expected "Serial number: CLITEST002\nMonitor type:  1\nSDK version:   v1.0\nFirmware:      2.14.07\n")
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "unexpected output:\n${out}")
endif()

execute_process(COMMAND ${TOOL} --simulate "displays=1,clock=virtual" --json info
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\"serial\": \"QVSIM00001\"" OR NOT out MATCHES "\"monitor_type\": 2")
  message(FATAL_ERROR "json info failed (${rc}): ${out} ${err}")
endif()

# No display: a human message on stderr and a non-zero status.
execute_process(COMMAND ${TOOL} --simulate "displays=0,clock=virtual" info
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "no display found" OR NOT out STREQUAL "")
  message(FATAL_ERROR "missing display not reported: rc=${rc} out=${out} err=${err}")
endif()

# A malformed configuration never reaches real USB.
execute_process(COMMAND ${TOOL} --simulate "displays=9" info
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "QUORVEX_SIMULATE" OR NOT err MATCHES "USB is not available")
  message(FATAL_ERROR "malformed configuration not refused: rc=${rc} err=${err}")
endif()
# Settings by name, from the command table.
execute_process(COMMAND ${TOOL} list OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "luminance +read-write 48..250")
  message(FATAL_ERROR "list: ${out}")
endif()
execute_process(COMMAND ${TOOL} --simulate "clock=virtual" get luminance color-space
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^luminance = -?[0-9]+\ncolor-space = [0-9]+\n$")
  message(FATAL_ERROR "get: rc=${rc} out=${out} err=${err}")
endif()
execute_process(COMMAND ${TOOL} --simulate "clock=virtual" set luminance 120 RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "set: ${err}")
endif()
execute_process(COMMAND ${TOOL} --simulate "clock=virtual" set luminance 251 RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "48..250")
  message(FATAL_ERROR "out-of-range set accepted: ${err}")
endif()
execute_process(COMMAND ${TOOL} --simulate "clock=virtual" get no-such-setting RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "no setting named")
  message(FATAL_ERROR "unknown setting accepted: ${err}")
endif()
message(STATUS "quorvexctl behaves")
