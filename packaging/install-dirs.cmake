# SPDX-License-Identifier: MIT
# Run first by cmake --install, with install_dirs and folders_made set: makes
# each folder the install puts files in, and each missing folder above it,
# 0755. mkdir's mode is masked by the umask, and under umask 077 a folder
# made 0700 would keep other users from the manual pages and completions.
# Folders that were there before are left as they are; those made here are
# added to the file folders_made names, for the uninstall target, DESTDIR
# included: that target removes them, when empty, only where they were made.
set(made "")
if(EXISTS "${folders_made}")
  file(STRINGS "${folders_made}" made)
endif()
foreach(dir IN LISTS install_dirs)
  set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dir}")
  set(missing "")
  while(NOT EXISTS "${path}")
    list(PREPEND missing "${path}")
    get_filename_component(path "${path}" DIRECTORY)
  endwhile()
  foreach(new IN LISTS missing)
    file(MAKE_DIRECTORY "${new}")
    file(CHMOD "${new}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND made "${new}")
  endforeach()
endforeach()
# cpack's own installs, into its staging folder, are none of the uninstall
# target's business.
get_filename_component(build "${folders_made}" DIRECTORY)
if(NOT "$ENV{DESTDIR}" MATCHES "^${build}/_CPack_Packages/")
  list(REMOVE_DUPLICATES made)
  list(JOIN made "\n" made)
  file(WRITE "${folders_made}" "${made}\n")
endif()
