# The committed symbols file is what the export list gives (names and first versions), and
# debian/changelog carries the project's version.
include(${MAKE_SYMBOLS})
file(READ ${OUT} generated)
file(READ ${COMMITTED} committed)
if(NOT generated STREQUAL committed)
  message(FATAL_ERROR "${COMMITTED} does not match the export list; "
                      "run `cmake --build <build> --target debian-symbols` and review the change")
endif()

file(STRINGS ${CHANGELOG} first LIMIT_COUNT 1)
if(NOT first MATCHES "^quorvex \\(([^)-]+)(-[^)]+)?\\) ")
  message(FATAL_ERROR "unexpected first line in ${CHANGELOG}: ${first}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "debian/changelog is at ${CMAKE_MATCH_1}, the project at ${PROJECT_VERSION}")
endif()
message(STATUS "symbols file and package version agree with the build")
