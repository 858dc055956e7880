# SPDX-License-Identifier: MIT
# Run by cpack on each package: a .deb's members have the modes of the
# umask it ran under, so ar writes it again in its deterministic mode.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(members_dir ${package}.members)
  file(REMOVE_RECURSE ${members_dir})
  file(MAKE_DIRECTORY ${members_dir})
  execute_process(COMMAND ar t ${package} OUTPUT_VARIABLE members
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" members "${members}")
  execute_process(COMMAND ar x ${package} WORKING_DIRECTORY ${members_dir}
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${package})
  execute_process(COMMAND ar rcD ${package} ${members} WORKING_DIRECTORY ${members_dir}
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${members_dir})
endforeach()
