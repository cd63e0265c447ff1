# Compiles a resource script (see resources/pwOpenApps2.rc) into a C++ file that defines
# `const pw::ResourceTable& <FUNCTION>()`.
#   cmake -DINPUT=file.rc -DOUTPUT=file.cpp -DFUNCTION=Name -P rc2cpp.cmake
file(STRINGS ${INPUT} lines)
set(strings "")
set(bitmaps "")
set(n 0)
foreach(line IN LISTS lines)
  math(EXPR n "${n} + 1")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//")
    continue()
  elseif(line MATCHES "^STRING[ \t]+([0-9]+)[ \t]+\"(.*)\"$")
    string(APPEND strings "    {${CMAKE_MATCH_1}u, u\"${CMAKE_MATCH_2}\"},\n")
  elseif(line MATCHES "^BITMAP[ \t]+([A-Za-z0-9_]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[ \t]+(0x[0-9A-Fa-f]+)[ \t]+(0x[0-9A-Fa-f]+)[ \t]+(0x[0-9A-Fa-f]+)$")
    string(APPEND bitmaps "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}u, ${CMAKE_MATCH_5}u, ${CMAKE_MATCH_6}u},\n")
  else()
    message(FATAL_ERROR "${INPUT}:${n}: not a resource entry: ${line}")
  endif()
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT} by rc2cpp.cmake; do not edit.
#include \"platform/resources.h\"

namespace pw {

namespace {
const StringResource kStrings[] = {
${strings}};
const BitmapResource kBitmaps[] = {
${bitmaps}};
const ResourceTable kTable{kStrings, kBitmaps};
}  // namespace

const ResourceTable& ${FUNCTION}() { return kTable; }

}  // namespace pw
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
