# SPDX-License-Identifier: MIT
# read_lines(FILE PREFIX): sets PREFIX_count to the number of lines of
# FILE, and PREFIX_0, PREFIX_1, ... to each line without its newline, byte
# for byte. file(STRINGS) would drop every byte beyond ASCII and split a
# line at a semicolon, and a CMake list at a semicolon or about a bracket.
function(read_lines file prefix)
  file(READ "${file}" text)
  set(count 0)
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    if(end EQUAL -1)
      set(line "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${end} line)
      math(EXPR end "${end} + 1")
      string(SUBSTRING "${text}" ${end} -1 text)
    endif()
    set(${prefix}_${count} "${line}" PARENT_SCOPE)
    math(EXPR count "${count} + 1")
  endwhile()
  set(${prefix}_count ${count} PARENT_SCOPE)
endfunction()
