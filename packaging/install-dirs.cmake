# SPDX-License-Identifier: MIT
# Run first by cmake --install, with install_dirs and folders_made set: makes
# each folder the install puts files in, and each missing folder above it,
# 0755. mkdir's mode is masked by the umask, and under umask 077 a folder
# made 0700 would keep other users from the manual pages and completions.
# A folder given as an absolute path is used as it is, under DESTDIR, as
# install() does; any other is below the prefix. Folders that were there
# before are left as they are; those made here are added to the record
# folders_made names (folder-records.cmake), DESTDIR included, for the
# uninstall target, which removes them, when empty, only where they were
# made.
include(${CMAKE_CURRENT_LIST_DIR}/folder-records.cmake)
read_folders("${folders_made}")
set(recorded ${made_count})
foreach(dir IN LISTS install_dirs)
  if(IS_ABSOLUTE "${dir}")
    set(path "$ENV{DESTDIR}${dir}")
  else()
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  # The missing folders, deepest first; then made from the top down.
  set(missing 0)
  while(NOT path STREQUAL "" AND NOT EXISTS "${path}" AND NOT IS_SYMLINK "${path}")
    set(missing_${missing} "${path}")
    math(EXPR missing "${missing} + 1")
    get_filename_component(path "${path}" DIRECTORY)
  endwhile()
  while(missing GREATER 0)
    math(EXPR missing "${missing} - 1")
    set(new "${missing_${missing}}")
    file(MAKE_DIRECTORY "${new}")
    file(CHMOD "${new}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(made_${made_count} "${new}")
    math(EXPR made_count "${made_count} + 1")
  endwhile()
endforeach()
# cpack's own installs, into its staging folder, are none of the uninstall
# target's business.
get_filename_component(build "${folders_made}" DIRECTORY)
string(FIND "$ENV{DESTDIR}" "${build}/_CPack_Packages/" staged)
if(made_count GREATER recorded AND NOT staged EQUAL 0)
  write_folders("${folders_made}")
endif()
