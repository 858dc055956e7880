# SPDX-License-Identifier: MIT
# cmake -DNEWS=FILE -DOUTPUT=FILE -DPACKAGE=NAME -DMAINTAINER=TEXT -P changelog.cmake
# Turns NEWS, one entry a release headed "NAME VERSION (YYYY-MM-DD HH:MM UTC)"
# with its lines indented below, into a Debian changelog of revision 1 of
# each.
include(${CMAKE_CURRENT_LIST_DIR}/lines.cmake)
read_lines("${NEWS}" news)
set(changelog "")
set(trailer "")
set(n 0)
while(n LESS news_count)
  set(line "${news_${n}}")
  math(EXPR n "${n} + 1")
  if(line MATCHES "^${PACKAGE} ([^ ]+) \\(([0-9-]+) ([0-9:]+) UTC\\)$")
    set(version ${CMAKE_MATCH_1})
    execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_2} ${CMAKE_MATCH_3} UTC"
      OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND changelog "${trailer}${PACKAGE} (${version}-1) unstable; urgency=medium\n\n")
    set(trailer "\n -- ${MAINTAINER}  ${date}\n\n")
  elseif(line MATCHES "^  ")
    string(APPEND changelog "${line}\n")
  endif()
endwhile()
string(REGEX REPLACE "\n\n$" "\n" trailer "${trailer}")
file(WRITE "${OUTPUT}" "${changelog}${trailer}")
