# SPDX-License-Identifier: MIT
# Run last by cmake --install, with installed_files, record and manifest
# set, and destdir_given as install-begin.cmake left it: records every
# file the install wrote, DESTDIR included, and its SHA-256, for the
# uninstall target (install-record.cmake). installed_files
# names each below the prefix, or as an absolute path, or in a folder known
# only now (@zsh_completions@). The paths are checked against those CMake
# has just installed, so that no file goes unrecorded, one a semicolon
# would split included. cpack's own installs are not recorded.
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
if("$ENV{GRIDCHECK_PATHLIST_STAGING}")
  return()
endif()

read_record("${record}")
set(record_destdir "${destdir_given}")
set(record_root "$ENV{DESTDIR}")
set(record_prefix "${CMAKE_INSTALL_PREFIX}")
set(file_count 0)
set(joined "")
foreach(entry IN LISTS installed_files)
  string(CONFIGURE "${entry}" path @ONLY)
  if(NOT IS_ABSOLUTE "${path}")
    set(path "${CMAKE_INSTALL_PREFIX}/${path}")
  endif()
  if(file_count GREATER 0)
    string(APPEND joined ";")
  endif()
  string(APPEND joined "${path}")
  set(path "${record_root}${path}")
  if(IS_SYMLINK "${path}" OR IS_DIRECTORY "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The install did not write ${path}")
  endif()
  set(file_${file_count} "${path}")
  file(SHA256 "${path}" file_${file_count}_sha256)
  math(EXPR file_count "${file_count} + 1")
endforeach()
if(NOT joined STREQUAL "${CMAKE_INSTALL_MANIFEST_FILES}")
  message(FATAL_ERROR "The install wrote other files than it records:\n"
                      "written: ${CMAKE_INSTALL_MANIFEST_FILES}\nrecorded: ${joined}")
endif()
write_record("${record}")
message(STATUS "Recorded for the uninstall target: ${record}")

# CMake writes its own manifest once this has run: made here, it keeps its
# owner when written again.
if(NOT EXISTS "${manifest}")
  file(TOUCH "${manifest}")
endif()
give_to_builder("${manifest}")
