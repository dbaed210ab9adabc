# What `cmake --install` lays out under the prefix, as a Debian library would:
#   lib/<multiarch>/libquorvex.so.1.0.0 and its links, pkgconfig/quorvex.pc, cmake/Quorvex/
#   include/quorvex.h, bin/quorvexctl, share/man/man1/quorvexctl.1
#   lib/udev/rules.d/70-quorvex.rules, share/doc/quorvex/ (README, examples)
# The pkg-config file, the CMake package and quorvexctl find everything relative to their own
# location, so the tree works wherever it is installed or copied.
include(CMakePackageConfigHelpers)

set(QUORVEX_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the prefix (udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d)")
set(QUORVEX_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Quorvex")

install(TARGETS quorvex EXPORT QuorvexTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/quorvex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# quorvexctl itself is installed by tools/quorvexctl/CMakeLists.txt. It finds the library
# relative to itself, so the tree runs from any prefix without LD_LIBRARY_PATH; the library
# carries no run path.
set_target_properties(quorvexctl PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(FILES tools/quorvexctl/quorvexctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/c examples/cmake DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# ---- pkg-config: prefix from ${pcfiledir}, whatever depth the library directory has
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR must be relative to the prefix")
endif()
file(RELATIVE_PATH QV_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" QV_PC_TO_PREFIX "${QV_PC_TO_PREFIX}")
configure_file(cmake/quorvex.pc.in ${CMAKE_BINARY_DIR}/quorvex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# ---- CMake package: find_package(Quorvex 1) gives Quorvex::quorvex
install(EXPORT QuorvexTargets NAMESPACE Quorvex:: DESTINATION ${QUORVEX_CMAKE_DIR})
configure_package_config_file(cmake/QuorvexConfig.cmake.in ${CMAKE_BINARY_DIR}/QuorvexConfig.cmake
  INSTALL_DESTINATION ${QUORVEX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuorvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuorvexConfig.cmake ${CMAKE_BINARY_DIR}/QuorvexConfigVersion.cmake
  DESTINATION ${QUORVEX_CMAKE_DIR})

# ---- udev: the display's bridge ids as sysfs spells them (four lower-case hex digits)
function(qv_sysfs_id out value)
  if(NOT value MATCHES "^(0[xX][0-9a-fA-F]+|[0-9]+)$")
    message(FATAL_ERROR "USB id '${value}' is neither hexadecimal (0x...) nor decimal")
  endif()
  math(EXPR n "${value}")
  if(n LESS 0 OR n GREATER 65535)
    message(FATAL_ERROR "USB id '${value}' does not fit 16 bits")
  endif()
  math(EXPR n "${n} + 65536" OUTPUT_FORMAT HEXADECIMAL)  # 0x1xxxx: always five digits
  string(SUBSTRING "${n}" 3 4 hex)
  string(TOLOWER "${hex}" hex)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
qv_sysfs_id(QV_UDEV_VID "${QUORVEX_USB_VID}")
qv_sysfs_id(QV_UDEV_PID "${QUORVEX_USB_PID}")
configure_file(cmake/70-quorvex.rules.in ${CMAKE_BINARY_DIR}/70-quorvex.rules @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/70-quorvex.rules DESTINATION ${QUORVEX_UDEV_RULES_DIR})

# ---- Debian symbols file: `cmake --build build --target debian-symbols` rewrites it from the
# export list after a name is added (new names get this version; a test checks the two agree).
set(QV_SYMBOLS_FILE ${CMAKE_SOURCE_DIR}/debian/libquorvex1.symbols)
set(QV_MAKE_SYMBOLS ${CMAKE_COMMAND} -DLIST=${QV_EXPORTS_FILE} -DSONAME_MAJOR=${PROJECT_VERSION_MAJOR}
    -DVERSION=${PROJECT_VERSION} -DPREVIOUS=${QV_SYMBOLS_FILE})
set(QV_MAKE_SYMBOLS_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/make_symbols_file.cmake)
add_custom_target(debian-symbols
  COMMAND ${QV_MAKE_SYMBOLS} -DOUT=${QV_SYMBOLS_FILE} -P ${QV_MAKE_SYMBOLS_SCRIPT}
  COMMENT "Writing ${QV_SYMBOLS_FILE} from the export list")
add_dependencies(debian-symbols quorvex_exports)
