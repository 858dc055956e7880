# SPDX-License-Identifier: MIT
# Run first by cmake --install, with install_dirs set: makes each folder the
# install puts files in, and each missing folder above it, 0755. mkdir's mode
# is masked by the umask, and under umask 077 a folder made 0700 would keep
# other users from the manual pages and completions. Folders that were there
# before are left as they are.
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
  endforeach()
endforeach()
