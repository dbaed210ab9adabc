# Writes a C++ source that holds each interface description as a string, and a header that names
# each interface's errors: the shipped .varlink files are the one text of each interface.
#   cmake -DOUT=file.cpp -DERRORS_OUT=errors.h -DNAMES="kName1;kName2" -DFILES="a.varlink;b.varlink"
#         -P descriptions.cmake
# The errors of interface a.b.Thing are thing_error::kName = "a.b.Thing.Name".
set(text "// Written by the build from the .varlink files beside quorvexd's sources.\nnamespace quorvexd {\n")
string(CONCAT errors "// Written by the build from the .varlink files beside quorvexd's sources: every error of\n"
              "// each interface by its full name.\n#pragma once\n\nnamespace quorvexd {\n")
foreach(name file IN ZIP_LISTS NAMES FILES)
  file(READ ${file} body)
  string(APPEND text "extern const char* const ${name};\nconst char* const ${name} = R\"QVIDL(${body})QVIDL\";\n")

  file(STRINGS ${file} interface REGEX "^interface [A-Za-z0-9.]+$")
  string(REGEX REPLACE "^interface " "" interface "${interface}")
  string(REGEX REPLACE "^.*\\." "" scope "${interface}")
  string(TOLOWER "${scope}_error" scope)
  string(APPEND errors "\nnamespace ${scope} {\n")
  file(STRINGS ${file} declarations REGEX "^error [A-Za-z0-9]+ ")
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "^error ([A-Za-z0-9]+)" _ "${declaration}")
    string(APPEND errors "inline constexpr const char* k${CMAKE_MATCH_1} = \"${interface}.${CMAKE_MATCH_1}\";\n")
  endforeach()
  string(APPEND errors "}  // namespace ${scope}\n")
endforeach()
string(APPEND text "}  // namespace quorvexd\n")
string(APPEND errors "\n}  // namespace quorvexd\n")
file(WRITE ${OUT} "${text}")
file(WRITE ${ERRORS_OUT} "${errors}")
