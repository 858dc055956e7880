# SPDX-License-Identifier: MIT
# What `cmake --install` does, step by step, as install rules in this order;
# cpack runs them too, into its staging folder (cpack.cmake).
#   1. install_settings.cmake, made here with what the install needs of
#      this build, runs install-begin.cmake: it refuses a destination the
#      record could not keep byte for byte, or another than one in place;
#      makes each folder and any missing above it 0755 whatever the umask;
#      records those made.
#   2. The files.
#   3. install-end.cmake: zsh's completion, in the folder its prefix asks
#      for (zsh_completions()); the record of every file and what it holds.
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
set(man ${CMAKE_INSTALL_MANDIR}/man1)
set(bash ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
set(fish ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
set(docs ${CMAKE_INSTALL_DOCDIR})

# Step 1, each value a bracket argument, read back as it is; and the
# uninstall, with the same values: `sudo cmake -P uninstall.cmake` runs no
# build system, which as root would leave its files in the build folder.
bracket(record "${PROJECT_BINARY_DIR}/install_record.cmake")
bracket(manifest "${PROJECT_BINARY_DIR}/install_manifest.txt")
bracket(datadir "${CMAKE_INSTALL_DATADIR}")
bracket(zsh_completiondir "${INSTALL_ZSH_COMPLETIONDIR}")
set(dirs ${CMAKE_INSTALL_BINDIR} ${man} ${docs} ${INSTALL_LICENSEDIR} ${bash} ${fish})
bracket(install_dirs "${dirs}")
set(files ${CMAKE_INSTALL_BINDIR}/gridcheck ${CMAKE_INSTALL_BINDIR}/pathlist
  ${man}/gridcheck.1.gz ${man}/pathlist.1.gz ${docs}/README.md ${docs}/changelog.gz)
if(INSTALL_LICENSEDIR)
  list(APPEND files ${INSTALL_LICENSEDIR}/LICENSE)
endif()
list(APPEND files ${bash}/pathlist ${fish}/pathlist.fish)
bracket(installed_files "${files}")
set(settings ${CMAKE_CURRENT_LIST_DIR}/install_settings.cmake.in)
bracket(then "${CMAKE_CURRENT_LIST_DIR}/install-begin.cmake")
configure_file(${settings} ${PROJECT_BINARY_DIR}/install_settings.cmake @ONLY)
bracket(then "${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake")
configure_file(${settings} ${PROJECT_BINARY_DIR}/uninstall.cmake @ONLY)
install(SCRIPT ${PROJECT_BINARY_DIR}/install_settings.cmake)
add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -P ${PROJECT_BINARY_DIR}/uninstall.cmake
  COMMENT "Removing what the last install wrote, as it wrote it, and the folders installs made"
  VERBATIM)

# Step 2, in the order of the list above, which step 3 checks.
install(TARGETS gridcheck pathlist)
install(FILES ${PROJECT_BINARY_DIR}/gridcheck/gridcheck.1.gz
              ${PROJECT_BINARY_DIR}/pathlist/pathlist.1.gz DESTINATION ${man})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${docs})
if(INSTALL_LICENSEDIR)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${INSTALL_LICENSEDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/pathlist/pathlist.bash-completion DESTINATION ${bash}
        RENAME pathlist)
install(FILES ${PROJECT_SOURCE_DIR}/pathlist/pathlist.fish-completion DESTINATION ${fish}
        RENAME pathlist.fish)

# Step 3.
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install-end.cmake)
