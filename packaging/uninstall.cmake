# SPDX-License-Identifier: MIT
# Run by the build folder's uninstall.cmake (install.cmake): removes each
# file the last install wrote that still holds what it wrote, then each
# folder installs made, once empty. A file gone or changed (a user's own
# now) is kept, and a line says so; only a file rm could not remove stays
# in the record. Given another DESTDIR than the install's, it removes
# nothing and names the install's.
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
if(NOT EXISTS "${record}")
  message(FATAL_ERROR "Nothing removed: no install from this build folder is recorded (${record})")
endif()
read_record("${record}")

# A relative DESTDIR means what it meant to the install.
set(destdir "$ENV{DESTDIR}")
if(NOT (destdir STREQUAL record_destdir OR
        (IS_ABSOLUTE "${destdir}" AND destdir STREQUAL record_root)))
  set(used "'${record_destdir}'")
  if(NOT record_destdir STREQUAL record_root)
    string(APPEND used ", that is '${record_root}'")
  endif()
  message(FATAL_ERROR "Nothing removed: the last install used DESTDIR=${used}; "
                      "the uninstall was given DESTDIR='${destdir}'")
endif()
message(STATUS "Uninstalling the last install: prefix ${record_prefix}, DESTDIR='${record_root}'")

set(kept 0)
set(n 0)
while(n LESS file_count)
  set(file "${file_${n}}")
  set(sha256 "${file_${n}_sha256}")
  math(EXPR n "${n} + 1")
  set(now "")
  if(NOT EXISTS "${file}" AND NOT IS_SYMLINK "${file}")
    message(STATUS "Not there: ${file}")
    continue()
  elseif(NOT IS_SYMLINK "${file}" AND NOT IS_DIRECTORY "${file}")
    file(SHA256 "${file}" now)
  endif()
  if(NOT now STREQUAL sha256)
    # Someone's own now: kept, and no longer the install's.
    message(STATUS "Keeping ${file}: it is not what the install wrote there")
    continue()
  endif()
  # rm says why it could not, where file(REMOVE) is silent.
  execute_process(COMMAND rm -f -- "${file}" RESULT_VARIABLE refused ERROR_VARIABLE why
                  ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT refused)
    message(STATUS "Removing ${file}")
    continue()
  endif()
  message(NOTICE "${why}")
  # Kept in the record, in place: kept is never past n.
  set(file_${kept} "${file}")
  set(file_${kept}_sha256 "${sha256}")
  math(EXPR kept "${kept} + 1")
endwhile()
set(file_count ${kept})

# Deepest first, in passes until one removes nothing, as 0.8.0's folders
# may hold later ones. rmdir refuses a folder not empty, whatever its path
# holds, where a glob would take [, * and ? for wildcards; one refused
# stays recorded, for a later uninstall that may find it empty.
set(removed 1)
while(removed)
  set(removed 0)
  set(n ${made_count})
  while(n GREATER 0)
    math(EXPR n "${n} - 1")
    if(IS_DIRECTORY "${made_${n}}" AND NOT IS_SYMLINK "${made_${n}}")
      execute_process(COMMAND rmdir -- "${made_${n}}" RESULT_VARIABLE refused ERROR_QUIET)
      if(NOT refused)
        message(STATUS "Removing ${made_${n}}/")
        set(removed 1)
      endif()
    endif()
  endwhile()
endwhile()
# Those left stay, in place and in the order they were made.
set(kept 0)
while(n LESS made_count)
  if(IS_DIRECTORY "${made_${n}}" AND NOT IS_SYMLINK "${made_${n}}")
    set(made_${kept} "${made_${n}}")
    math(EXPR kept "${kept} + 1")
  endif()
  math(EXPR n "${n} + 1")
endwhile()
set(made_count ${kept})
write_record("${record}")
if(file_count GREATER 0)
  message(FATAL_ERROR "${file_count} of the installed files could not be removed (above)")
endif()
