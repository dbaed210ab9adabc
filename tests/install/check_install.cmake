# Installs the build into STAGE and checks the tree as a user of the SDK meets it: the files and
# links, the library's soname, relocatable pkg-config and CMake files, both examples built
# against the staged tree and run on the simulated display, and the udev rule.
cmake_minimum_required(VERSION 3.25)
unset(ENV{DESTDIR})
set(work ${STAGE}-work)
file(REMOVE_RECURSE ${STAGE} ${work})
file(MAKE_DIRECTORY ${work})

set(failures "")
macro(fail what)
  list(APPEND failures "${what}")
endmacro()

# Runs a command; stops the test with its output when it fails. Standard output goes to OUT.
function(run out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "`${cmd}` failed (${rc}):\n${o}\n${e}")
  endif()
  set(${out} "${o}" PARENT_SCOPE)
endfunction()

function(dynamic_section out file)
  run(d readelf -d ${file})
  set(${out} "${d}" PARENT_SCOPE)
endfunction()

run(ignored ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE})
set(lib ${STAGE}/${LIBDIR})

# ---- files and links
foreach(f ${LIBDIR}/libquorvex.so.1.0.0 include/quorvex.h bin/quorvexctl share/man/man1/quorvexctl.1
          ${LIBDIR}/pkgconfig/quorvex.pc ${LIBDIR}/cmake/Quorvex/QuorvexConfig.cmake
          ${LIBDIR}/cmake/Quorvex/QuorvexConfigVersion.cmake ${LIBDIR}/cmake/Quorvex/QuorvexTargets.cmake
          ${UDEV_DIR}/70-quorvex.rules ${DOCDIR}/README.md
          ${DOCDIR}/examples/c/luminance.c ${DOCDIR}/examples/c/Makefile
          ${DOCDIR}/examples/cmake/CMakeLists.txt ${DOCDIR}/examples/cmake/osd_timeout.c)
  if(NOT EXISTS ${STAGE}/${f} OR IS_SYMLINK ${STAGE}/${f})
    fail("${f} missing or not a plain file")
  endif()
endforeach()
set(links libquorvex.so.1 libquorvex.so)
set(link_targets libquorvex.so.1.0.0 libquorvex.so.1)
foreach(link target IN ZIP_LISTS links link_targets)
  set(points "")
  if(IS_SYMLINK ${lib}/${link})
    file(READ_SYMLINK ${lib}/${link} points)
  endif()
  if(NOT points STREQUAL target)
    fail("${LIBDIR}/${link} should link to ${target}, is '${points}'")
  endif()
endforeach()

# ---- the library's soname; no run path left from the build in anything installed: the
# library has none, quorvexctl only its own, relative to where it lies
dynamic_section(d ${lib}/libquorvex.so.1.0.0)
if(NOT d MATCHES "\\(SONAME\\) +Library soname: \\[libquorvex\\.so\\.1\\]")
  fail("soname is not libquorvex.so.1")
endif()
dynamic_section(tool ${STAGE}/bin/quorvexctl)
if(d MATCHES "R(UN)?PATH")
  fail("the library has a run path")
endif()
string(REGEX MATCHALL "Library (rpath|runpath): [^\n]*" tool_paths "${tool}")
if(NOT tool_paths STREQUAL "Library runpath: [$ORIGIN/../${LIBDIR}]")
  fail("quorvexctl's run path should be $ORIGIN/../${LIBDIR} alone, is '${tool_paths}'")
endif()
if(NOT tool MATCHES "\\[libquorvex\\.so\\.1\\]")
  fail("quorvexctl does not use libquorvex.so.1")
endif()
# It starts from this prefix, which is not the system's, with no library path given.
unset(ENV{LD_LIBRARY_PATH})
execute_process(COMMAND ${STAGE}/bin/quorvexctl --simulate 1,clock=virtual info
                OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT o MATCHES "Serial number: QVSIM00001")
  fail("the installed quorvexctl does not run from ${STAGE}: rc=${rc}\n${o}${e}")
endif()

# ---- relocatable: no path of the source, build or staging tree in the .pc and CMake files
file(GLOB cmake_files ${lib}/cmake/Quorvex/*)
foreach(f ${lib}/pkgconfig/quorvex.pc ${cmake_files})
  file(READ ${f} text)
  foreach(dir ${SOURCE_DIR} ${BUILD_DIR} ${STAGE})
    string(FIND "${text}" "${dir}" at)
    if(NOT at EQUAL -1)
      fail("${f} names ${dir}")
    endif()
  endforeach()
endforeach()

# ---- pkg-config against the staged tree
set(ENV{PKG_CONFIG_PATH} ${lib}/pkgconfig)
file(REAL_PATH ${STAGE} stage_real)
run(prefix pkg-config --variable=prefix quorvex)
string(STRIP "${prefix}" prefix)
file(REAL_PATH "${prefix}" prefix_real)
if(NOT prefix_real STREQUAL stage_real)
  fail("pkg-config prefix ${prefix} is not the staged tree")
endif()
run(libs pkg-config --libs quorvex)
if(NOT libs MATCHES "-lquorvex" OR libs MATCHES "usb")
  fail("pkg-config --libs gives '${libs}'")
endif()
run(private pkg-config --print-requires-private quorvex)
if(NOT private MATCHES "^libusb-1.0")
  fail("libusb-1.0 is not a private requirement: '${private}'")
endif()
run(cflags pkg-config --cflags-only-I quorvex)
string(REGEX MATCH "-I[^ \n]*/include" include_flag "${cflags}")
string(SUBSTRING "${include_flag}" 2 -1 include_dir)
if(NOT EXISTS "${include_dir}/quorvex.h")
  fail("pkg-config --cflags gives '${cflags}', without the staged include directory")
endif()

# ---- the examples, copied from the installed documentation, built and run
set(ENV{QUORVEX_SIMULATE} "1,clock=virtual")
set(ENV{LD_LIBRARY_PATH} ${lib})
file(COPY ${STAGE}/${DOCDIR}/examples/c ${STAGE}/${DOCDIR}/examples/cmake DESTINATION ${work})

function(check_example program expected)
  execute_process(COMMAND ${program} OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT o MATCHES "${expected}")
    fail("${program}: rc=${rc}\n${o}${e}")
  endif()
  dynamic_section(d ${program})
  if(NOT d MATCHES "\\[libquorvex\\.so\\.1\\]" OR d MATCHES "libusb")
    fail("${program} should need libquorvex.so.1 and not libusb")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

run(ignored make -C ${work}/c CC=${CC} "CFLAGS=-O2 -Wall -Wextra -Werror ${EXAMPLE_FLAGS}" "LDFLAGS=${EXAMPLE_FLAGS} ${EXAMPLE_LINK_FLAGS}")
check_example(${work}/c/luminance "display QVSIM00001: luminance [0-9]+, set to [0-9]+\n.*restored")

run(ignored ${CMAKE_COMMAND} -S ${work}/cmake -B ${work}/cmake-build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${STAGE} -DCMAKE_C_COMPILER=${CC}
    "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror ${EXAMPLE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXAMPLE_FLAGS} ${EXAMPLE_LINK_FLAGS}")
file(STRINGS ${work}/cmake-build/CMakeCache.txt found REGEX "^Quorvex_DIR:")
if(NOT found STREQUAL "Quorvex_DIR:PATH=${lib}/cmake/Quorvex")
  fail("find_package(Quorvex) found ${found}")
endif()
run(ignored ${CMAKE_COMMAND} --build ${work}/cmake-build)
check_example(${work}/cmake-build/osd_timeout "display QVSIM00001: menu timeout [0-9]+ s, set to [0-9]+ s")

# ---- the udev rule: one rule, for the build's ids, matching (==) the USB device node and
# granting access (=, +=) to the seat and plugdev
foreach(setting VID PID)
  math(EXPR n "${USB_${setting}} + 65536" OUTPUT_FORMAT HEXADECIMAL)  # four hex digits after "0x1"
  string(REGEX REPLACE "^0x1" "" n "${n}")
  string(TOLOWER "${n}" id_${setting})
endforeach()
file(STRINGS ${STAGE}/${UDEV_DIR}/70-quorvex.rules lines REGEX "^[ \t]*[^# \t]")
set(rule "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"${id_VID}\", ATTR{idProduct}==\"${id_PID}\", TAG\\+=\"uaccess\", GROUP=\"plugdev\", MODE=\"0660\"")
list(LENGTH lines rules)
if(NOT rules EQUAL 1 OR NOT lines MATCHES "^${rule}$")
  fail("the udev rule file should hold the one rule '${rule}', holds: ${lines}")
endif()

if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "installed tree:\n  ${failures}")
endif()
message(STATUS "installed tree, examples and udev rule check out")
