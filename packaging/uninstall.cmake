# SPDX-License-Identifier: MIT
# cmake -DMANIFEST=FILE -DFOLDERS=FILE -P uninstall.cmake
# Removes every file the last install from this build folder wrote (CMake's
# install_manifest.txt, which names them without DESTDIR, as cmake --install
# is given it), then every folder an install made (install-dirs.cmake, which
# records them as made) once it is empty. Folders that were there before,
# and anything put in them since, are left as they are.
include(${CMAKE_CURRENT_LIST_DIR}/folder-records.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/lines.cmake)
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing was installed from this build folder: no ${MANIFEST}")
endif()
read_lines("${MANIFEST}" installed)
set(n 0)
while(n LESS installed_count)
  set(file "$ENV{DESTDIR}${installed_${n}}")
  math(EXPR n "${n} + 1")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
endwhile()

# Deepest first: a folder was made after the one it is in. rmdir refuses a
# folder that is not empty, whatever bytes its path holds, where a test of
# emptiness by a pattern would take [, * and ? for wildcards; one it
# refuses stays recorded, for a later uninstall that may find it empty.
read_folders("${FOLDERS}")
set(kept 0)
set(n ${made_count})
while(n GREATER 0)
  math(EXPR n "${n} - 1")
  set(folder "${made_${n}}")
  if(NOT IS_DIRECTORY "${folder}" OR IS_SYMLINK "${folder}")
    continue()
  endif()
  execute_process(COMMAND rmdir -- "${folder}" RESULT_VARIABLE refused ERROR_QUIET)
  if(refused)
    set(kept_${kept} "${folder}")
    math(EXPR kept "${kept} + 1")
  else()
    message(STATUS "Removing ${folder}/")
  endif()
endwhile()
# Kept in the order they were made.
set(made_count ${kept})
set(n 0)
while(n LESS kept)
  math(EXPR from "${kept} - 1 - ${n}")
  set(made_${n} "${kept_${from}}")
  math(EXPR n "${n} + 1")
endwhile()
write_folders("${FOLDERS}")
