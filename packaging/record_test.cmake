# SPDX-License-Identifier: MIT
# cmake -DSCRATCH=FOLDER -P record_test.cmake
# The install record reads back every path a file system can hold: for
# every byte but NUL and the slash, at the start, inside and at the end of
# a folder's name, and for the sequences that close or split CMake's
# arguments, a path written to the record and read back is the same bytes.
# (A carriage return before a newline, which CMake reads as the newline
# alone, the install refuses before it writes anything.)
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
set(names "")
foreach(code RANGE 1 255)
  if(NOT code EQUAL 47)
    string(ASCII ${code} c)
    list(APPEND names "${c}x" "x${c}y" "x${c}")
  endif()
endforeach()
string(ASCII 13 cr)
set(tested 0)
foreach(name IN LISTS names ITEMS "]" "]]" "]=]" "x]=" "[[" "=" "==" ";" "a;b" "\n" "\n\n" "${cr}")
  foreach(path IN ITEMS "/${name}" "/st/${name}/usr" "/st/${name}")
    set(record_destdir "${path}")
    set(record_root "${path}")
    set(record_prefix "${path}/usr")
    set(file_count 1)
    set(file_0 "${path}/usr/bin/pathlist")
    set(file_0_sha256 0)
    set(made_count 1)
    set(made_0 "${path}")
    write_record("${SCRATCH}/record_test_record.cmake")
    read_record("${SCRATCH}/record_test_record.cmake")
    if(NOT record_destdir STREQUAL path OR NOT record_root STREQUAL path OR
       NOT record_prefix STREQUAL "${path}/usr" OR NOT file_0 STREQUAL "${path}/usr/bin/pathlist" OR
       NOT made_0 STREQUAL path)
      message(FATAL_ERROR "not read back: ${path}")
    endif()
    math(EXPR tested "${tested} + 1")
  endforeach()
endforeach()
message(STATUS "${tested} paths read back from the record byte for byte")
file(REMOVE "${SCRATCH}/record_test_record.cmake")
