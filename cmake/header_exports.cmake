# header_exports(<header> <out-var>): the names the public header declares with QV_API, sorted.
# Every such declaration starts a line (a function's parameters may go on), in one of two forms:
#   QV_API <type> <Name>(<parameters>) QV_NOEXCEPT;
#   QV_API extern <type> <name>[<bounds>]...;
# A QV_API line in neither form stops the build rather than drop a name.
function(header_exports header out)
  file(STRINGS ${header} lines REGEX "^QV_API ")
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line MATCHES "^QV_API extern [^;([]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)(\\[[0-9]*\\])*;")
      list(APPEND names ${CMAKE_MATCH_1})
    elseif(line MATCHES "^QV_API [^;(]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\\(")
      list(APPEND names ${CMAKE_MATCH_1})
    else()
      message(FATAL_ERROR "${header}: cannot read this QV_API declaration:\n  ${line}")
    endif()
  endforeach()
  list(SORT names)
  set(${out} ${names} PARENT_SCOPE)
endfunction()
