# Compiles a resource script (see resources/pwOpenApps2.rc) into a C++ file that defines
# `const pw::ResourceTable& <FUNCTION>()`.
#   cmake -DINPUT=file.rc -DOUTPUT=file.cpp -DFUNCTION=Name -P rc2cpp.cmake
cmake_minimum_required(VERSION 3.25)
file(STRINGS ${INPUT} lines ENCODING UTF-8)
# A text is printable ASCII in which a backslash only escapes a quote or another backslash;
# identifiers and bitmap names appear once, and a bitmap has at least one pixel.
set(strings "")
set(bitmaps "")
set(cursors "")
set(ids "")
set(names "")
set(n 0)
foreach(line IN LISTS lines)
  math(EXPR n "${n} + 1")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//")
    continue()
  elseif(line MATCHES "^STRING[ \t]+([0-9]+)[ \t]+\"(.*)\"$")
    set(id ${CMAKE_MATCH_1})
    set(text "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "\\\\[\\\\\"]" "" plain "${text}")
    if(plain MATCHES "[\"\\\\]" OR plain MATCHES "[^ -~]")
      message(FATAL_ERROR "${INPUT}:${n}: the text may hold printable ASCII, \\\" and \\\\ only: ${line}")
    endif()
    if(id IN_LIST ids)
      message(FATAL_ERROR "${INPUT}:${n}: string ${id} is defined twice")
    endif()
    list(APPEND ids ${id})
    string(APPEND strings "    {${id}u, u\"${text}\"},\n")
  elseif(line MATCHES "^BITMAP[ \t]+([A-Za-z0-9_]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[ \t]+(0x[0-9A-Fa-f]+)[ \t]+(0x[0-9A-Fa-f]+)[ \t]+(0x[0-9A-Fa-f]+)$")
    if(CMAKE_MATCH_1 IN_LIST names)
      message(FATAL_ERROR "${INPUT}:${n}: bitmap ${CMAKE_MATCH_1} is defined twice")
    endif()
    if(CMAKE_MATCH_2 EQUAL 0 OR CMAKE_MATCH_3 EQUAL 0)
      message(FATAL_ERROR "${INPUT}:${n}: bitmap ${CMAKE_MATCH_1} has no pixels")
    endif()
    list(APPEND names ${CMAKE_MATCH_1})
    string(APPEND bitmaps "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}u, ${CMAKE_MATCH_5}u, ${CMAKE_MATCH_6}u},\n")
  elseif(line MATCHES "^CURSOR[ \t]+([A-Za-z0-9_]+)[ \t]+([0-9]+)[ \t]+([0-9]+)$")
    if(CMAKE_MATCH_1 IN_LIST names)
      message(FATAL_ERROR "${INPUT}:${n}: resource ${CMAKE_MATCH_1} is defined twice")
    endif()
    list(APPEND names ${CMAKE_MATCH_1})
    string(APPEND cursors "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}},\n")
  else()
    message(FATAL_ERROR "${INPUT}:${n}: not a resource entry: ${line}")
  endif()
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT} by rc2cpp.cmake; do not edit.
#include \"platform/ui/resources.h\"

#include <iterator>

namespace pw {

namespace {
const StringResource kStrings[] = {
${strings}};
const BitmapResource kBitmaps[] = {
${bitmaps}};
// The last entry only keeps the array from being empty.
const CursorResource kCursors[] = {
${cursors}    {nullptr, 0, 0}};
const ResourceTable kTable{kStrings, kBitmaps, {kCursors, std::size(kCursors) - 1}};
}  // namespace

const ResourceTable& ${FUNCTION}() { return kTable; }

}  // namespace pw
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
