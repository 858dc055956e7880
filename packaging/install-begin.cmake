# SPDX-License-Identifier: MIT
# Step 1 of an install (install.cmake). Folders are made 0755 here, not by
# install(), whose mkdir the umask masks: under umask 077 other users could
# not read the manual pages. An absolute folder is used as it is, under
# DESTDIR, as install() does; any other is below the prefix. cpack's own
# installs into its staging folder (cpack.cmake) are not recorded.
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
zsh_completions(zsh_completions "${CMAKE_INSTALL_PREFIX}")
set(destdir_given "$ENV{DESTDIR}")
if("$ENV{GRIDCHECK_PATHLIST_STAGING}")
  return() # stage.cmake sets the staged folders' modes
elseif(NOT IS_ABSOLUTE "${CMAKE_INSTALL_PREFIX}")
  message(FATAL_ERROR "Nothing installed: the prefix ${CMAKE_INSTALL_PREFIX} is not an absolute path")
elseif(NOT destdir_given STREQUAL "" AND NOT IS_ABSOLUTE "${destdir_given}")
  # Taken from the folder cmake --install runs in, as the system takes it.
  execute_process(COMMAND realpath -m -- "${destdir_given}" OUTPUT_VARIABLE root
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "\n$" "" root "${root}")
  set(ENV{DESTDIR} "${root}")
endif()

# Every folder the install writes in, each checked whole (a semicolon does
# not split it) before anything is written.
list(APPEND install_dirs "${zsh_completions}")
set(folder_count 0)
foreach(dir IN LISTS install_dirs)
  set(path "$ENV{DESTDIR}${dir}")
  if(NOT IS_ABSOLUTE "${dir}")
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  recordable(kept "${path}")
  set(why "")
  if(path MATCHES "\\\\")
    set(why "a backslash, which CMake takes for a slash")
  elseif(path MATCHES "(^|/)\\.\\.(/|$)")
    set(why "'..', which CMake resolves by its text where the system follows links")
  elseif(NOT kept)
    set(why "a carriage return before a newline, which CMake reads back as the newline alone")
  endif()
  if(why)
    message(FATAL_ERROR "Nothing installed: the install folder ${path} holds ${why}, "
                        "so the uninstall target could not remove exactly what it wrote. "
                        "Give DESTDIR, the prefix and the install folders without it.")
  endif()
  set(folder_${folder_count} "${path}")
  math(EXPR folder_count "${folder_count} + 1")
endforeach()

# One destination at a time: the record of an install elsewhere still in
# place would be replaced, and its files forgotten by the uninstall.
read_record("${record}")
set(n 0)
while(n LESS file_count AND
      NOT (record_prefix STREQUAL CMAKE_INSTALL_PREFIX AND record_root STREQUAL "$ENV{DESTDIR}"))
  set(now "")
  if(EXISTS "${file_${n}}" AND NOT IS_DIRECTORY "${file_${n}}")
    file(SHA256 "${file_${n}}" now)
  endif()
  if(now STREQUAL file_${n}_sha256)
    message(FATAL_ERROR "Nothing installed: the install to ${record_prefix}, DESTDIR "
                        "'${record_root}', from this build folder is still in place; uninstall "
                        "it first (cmake -P uninstall.cmake in the build folder, with its "
                        "DESTDIR), or install from another build folder.")
  endif()
  math(EXPR n "${n} + 1")
endwhile()

# Each missing folder, from the top down, made 0755 and recorded before the
# files are written: were the install to stop, they are still known.
set(n 0)
while(n LESS folder_count)
  set(path "${folder_${n}}")
  set(missing 0)
  while(NOT path STREQUAL "" AND NOT EXISTS "${path}" AND NOT IS_SYMLINK "${path}")
    set(missing_${missing} "${path}")
    math(EXPR missing "${missing} + 1")
    get_filename_component(path "${path}" DIRECTORY)
  endwhile()
  while(missing GREATER 0)
    math(EXPR missing "${missing} - 1")
    file(MAKE_DIRECTORY "${missing_${missing}}")
    file(CHMOD "${missing_${missing}}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                                   GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(made_${made_count} "${missing_${missing}}")
    math(EXPR made_count "${made_count} + 1")
  endwhile()
  math(EXPR n "${n} + 1")
endwhile()
write_record("${record}")
