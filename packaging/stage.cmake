# SPDX-License-Identifier: MIT
# Run by cpack on the staged files: folders and programs 0755, files 0644,
# whatever the umask; in the .deb, Debian's copyright and changelog in
# place of the licence.
set(stage ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_LICENSE_DIR)
  file(REMOVE ${stage}/usr/${CPACK_LICENSE_DIR}/LICENSE)
  execute_process(COMMAND rmdir ${stage}/usr/${CPACK_LICENSE_DIR} ERROR_QUIET) # if now empty
endif()
if(CPACK_GENERATOR STREQUAL "DEB")
  file(COPY ${CPACK_DEBIAN_DOCS} DESTINATION ${stage}/usr/${CPACK_DOC_DIR})
endif()

# X: the folders, and the programs, which the owner may run.
execute_process(COMMAND chmod -R u=rwX,go=rX "${stage}" COMMAND_ERROR_IS_FATAL ANY)

# Every file dated SOURCE_DATE_EPOCH (cpack.cmake): rpm only clamps later.
execute_process(COMMAND find "${stage}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                COMMAND_ERROR_IS_FATAL ANY)
