# SPDX-License-Identifier: MIT
# Step 3 of an install (install.cmake). installed_files names each file,
# below the prefix unless absolute, checked against those CMake installed,
# so that none goes unrecorded, one a semicolon would split included.
# install-begin.cmake, run before in the same scope, set what this uses.
if(NOT IS_ABSOLUTE "${zsh_completions}")
  set(zsh_completions "${CMAKE_INSTALL_PREFIX}/${zsh_completions}")
endif()
file(INSTALL DESTINATION "${zsh_completions}" TYPE FILE RENAME _pathlist
     FILES "${CMAKE_CURRENT_LIST_DIR}/../pathlist/pathlist.zsh-completion")
if("$ENV{GRIDCHECK_PATHLIST_STAGING}")
  return()
endif()

read_record("${record}")
set(record_destdir "${destdir_given}")
set(record_root "$ENV{DESTDIR}")
set(record_prefix "${CMAKE_INSTALL_PREFIX}")
set(joined "")
# Each file of the list, then zsh's, kept out of it: a semicolon splits.
list(LENGTH installed_files listed)
foreach(n RANGE ${listed})
  if(n LESS listed)
    list(GET installed_files ${n} path)
  else()
    set(path "${zsh_completions}/_pathlist")
  endif()
  if(NOT IS_ABSOLUTE "${path}")
    set(path "${CMAKE_INSTALL_PREFIX}/${path}")
  endif()
  string(APPEND joined ";${path}")
  set(path "${record_root}${path}")
  if(IS_SYMLINK "${path}" OR IS_DIRECTORY "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The install did not write ${path}")
  endif()
  set(file_${n} "${path}")
  file(SHA256 "${path}" file_${n}_sha256)
endforeach()
math(EXPR file_count "${listed} + 1")
if(NOT joined STREQUAL ";${CMAKE_INSTALL_MANIFEST_FILES}")
  message(FATAL_ERROR "The install wrote other files than it records:\n"
                      "written: ${CMAKE_INSTALL_MANIFEST_FILES}\nrecorded: ${joined}")
endif()
write_record("${record}")
message(STATUS "Recorded for the uninstall target: ${record}")

# Made here, the manifest CMake writes next keeps the builder as owner.
file(TOUCH "${manifest}")
give_to_builder("${manifest}")
