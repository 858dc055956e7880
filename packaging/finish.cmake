# SPDX-License-Identifier: MIT
# Run by cpack on each package it has made. cpack gives the members of a .deb
# the modes of the files it wrote them from, and so the umask of whoever ran
# it: write the archive again with binutils' ar in its deterministic mode
# (every member 0644, owned by 0, dated 0), its members in the same order.
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
