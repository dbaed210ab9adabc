# Writes a C++ source that holds each interface description as a string: the shipped .varlink
# files are the one text of each interface.
#   cmake -DOUT=file.cpp -DNAMES="kName1;kName2" -DFILES="a.varlink;b.varlink" -P descriptions.cmake
set(text "// Written by the build from the .varlink files beside quorvexd's sources.\nnamespace quorvexd {\n")
foreach(name file IN ZIP_LISTS NAMES FILES)
  file(READ ${file} body)
  string(APPEND text "extern const char* const ${name};\nconst char* const ${name} = R\"QVIDL(${body})QVIDL\";\n")
endforeach()
string(APPEND text "}  // namespace quorvexd\n")
file(WRITE ${OUT} "${text}")
