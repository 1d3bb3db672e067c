# Writes one `QUVO_CONSTANT(NAME)` line per `constexpr int32_t NAME = ...;` of the given headers
# (cmake -DOUTPUT=file -DHEADERS=a.h,b.h -P GenerateConstants.cmake). The values stay in the
# headers: the module reads each constant by name when it is compiled.
set(lines "// Generated from the constants headers; do not edit.\n")
string(REPLACE "," ";" HEADERS "${HEADERS}")
foreach(header IN LISTS HEADERS)
  file(STRINGS ${header} declarations REGEX "^constexpr int32_t [A-Za-z_][A-Za-z0-9_]* = ")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^constexpr int32_t ([A-Za-z_][A-Za-z0-9_]*) = .*" "\\1" name "${declaration}")
    string(APPEND lines "QUVO_CONSTANT(${name})\n")
  endforeach()
endforeach()
file(WRITE ${OUTPUT} "${lines}")
