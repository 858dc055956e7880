# SPDX-License-Identifier: MIT
# Run by cpack on each package: a .deb's members have the modes of the
# umask it ran under, so ar writes them again in its deterministic mode.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.deb$")
    set(members ${package}.members)
    file(REMOVE_RECURSE ${members})
    file(MAKE_DIRECTORY ${members})
    execute_process(COMMAND ar t ${package} OUTPUT_VARIABLE names
      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" names "${names}")
    execute_process(COMMAND ar x ${package} WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ar rD ${package} ${names} WORKING_DIRECTORY ${members}
      COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${members})
  endif()
endforeach()
