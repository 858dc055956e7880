# SPDX-License-Identifier: MIT
# Step 2 of an install (install.cmake). The folders are made 0755 here,
# not by install(): mkdir's mode is masked by the umask, and under umask 077
# a folder made 0700 would keep other users from the manual pages and
# completions. A folder given as an absolute path is used as it is, under
# DESTDIR, as install() does; any other is below the prefix. cpack's own
# installs, into its staging folder (cpack.cmake marks them), are none of
# the record's business.
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
set(staging "$ENV{GRIDCHECK_PATHLIST_STAGING}")

if(NOT staging)
  # A relative DESTDIR is taken from the folder cmake --install runs in,
  # as the system takes it; from here on the install writes below it made
  # absolute, which is what the record keeps.
  set(destdir_given "$ENV{DESTDIR}")
  if(NOT destdir_given STREQUAL "" AND NOT IS_ABSOLUTE "${destdir_given}")
    execute_process(COMMAND pwd -P OUTPUT_VARIABLE root OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    set(rest "${destdir_given}")
    while(rest MATCHES "^(\\.\\.?)(/+|$)")
      if(CMAKE_MATCH_1 STREQUAL "..")
        get_filename_component(root "${root}" DIRECTORY)
      endif()
      string(LENGTH "${CMAKE_MATCH_0}" skip)
      string(SUBSTRING "${rest}" ${skip} -1 rest)
    endwhile()
    string(REGEX REPLACE "/$" "" root "${root}")
    set(ENV{DESTDIR} "${root}/${rest}")
  endif()
  if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_PREFIX}")
    message(FATAL_ERROR "Nothing installed: the prefix ${CMAKE_INSTALL_PREFIX} is not an absolute path")
  endif()
endif()

zsh_completions(zsh_completions "${CMAKE_INSTALL_PREFIX}")
list(APPEND install_dirs "${zsh_completions}")

# Every folder the install writes in, DESTDIR included.
set(folder_count 0)
foreach(dir IN LISTS install_dirs)
  if(IS_ABSOLUTE "${dir}")
    set(path "$ENV{DESTDIR}${dir}")
  else()
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  # Checked whole: a path with a semicolon is not split here.
  if(NOT staging)
    recordable(kept "${path}")
    if(path MATCHES "\\\\")
      set(why "a backslash, which CMake takes for a slash")
    elseif(path MATCHES "(^|/)\\.\\.(/|$)")
      set(why "'..', which CMake resolves by its text where the system follows links")
    elseif(NOT kept)
      set(why "a carriage return before a newline, which CMake reads back as the newline alone")
    else()
      set(why "")
    endif()
    if(why)
      message(FATAL_ERROR "Nothing installed: the install folder ${path} holds ${why}, "
                          "so the uninstall target could not remove exactly what it wrote. "
                          "Give DESTDIR, the prefix and the install folders without it.")
    endif()
  endif()
  set(folder_${folder_count} "${path}")
  math(EXPR folder_count "${folder_count} + 1")
endforeach()

set(made_count 0)
if(NOT staging)
  read_record("${record}")
  # One destination at a time: an install elsewhere would replace the
  # record of one still in place, whose files the uninstall would forget.
  set(in_place 0)
  if(NOT (record_prefix STREQUAL CMAKE_INSTALL_PREFIX AND record_root STREQUAL "$ENV{DESTDIR}"))
    set(n 0)
    while(n LESS file_count)
      if(EXISTS "${file_${n}}" AND NOT IS_DIRECTORY "${file_${n}}")
        file(SHA256 "${file_${n}}" now)
        if(now STREQUAL file_${n}_sha256)
          set(in_place 1)
        endif()
      endif()
      math(EXPR n "${n} + 1")
    endwhile()
  endif()
  if(in_place)
    set(where "${record_prefix}")
    if(NOT record_root STREQUAL "")
      set(where "${record_prefix} under DESTDIR=${record_root}")
    endif()
    message(FATAL_ERROR "Nothing installed: the install to ${where} from this build folder "
                        "is still in place; uninstall it first (cmake -P uninstall.cmake in "
                        "the build folder, with its DESTDIR), or install from another build folder.")
  endif()
endif()
set(n 0)
while(n LESS folder_count)
  # The missing folders, deepest first; then made from the top down.
  set(path "${folder_${n}}")
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
  math(EXPR n "${n} + 1")
endwhile()
# Recorded at once: were the install to stop, the folders it made are
# still known. The files are recorded once all are written
# (install-end.cmake).
if(NOT staging)
  write_record("${record}")
endif()
