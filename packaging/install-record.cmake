# SPDX-License-Identifier: MIT
# The record the uninstall goes by, not install_manifest.txt: that leaves
# DESTDIR out, splits at a semicolon or newline, and cpack rewrites it.
# install_record.cmake, in the build folder, sets record_destdir (DESTDIR as
# given), record_root (made absolute) and record_prefix of the last install;
# file_count, file_N and file_N_sha256 for each file it wrote, DESTDIR
# included, that is still in place; made_count and made_N for each folder
# installs made, in order. Each path is a bracket argument, read back byte
# for byte; install-begin.cmake refuses one that would not be.

# read_record(FILE): the variables above, from FILE if there is one; the
# folders 0.8.0 kept in install_folders.cmake follow FILE's, to go too.
macro(read_record file)
  get_filename_component(earlier "${file}" DIRECTORY)
  set(made_count 0)
  if(EXISTS "${earlier}/install_folders.cmake")
    include("${earlier}/install_folders.cmake")
  endif()
  set(earlier ${made_count})
  foreach(n RANGE ${earlier})
    set(earlier_${n} "${made_${n}}")
  endforeach()
  foreach(name IN ITEMS record_destdir record_root record_prefix)
    set(${name} "")
  endforeach()
  set(file_count 0)
  set(made_count 0)
  if(EXISTS "${file}")
    include("${file}")
  endif()
  set(n 0)
  while(n LESS earlier)
    set(made_${made_count} "${earlier_${n}}")
    math(EXPR made_count "${made_count} + 1")
    math(EXPR n "${n} + 1")
  endwhile()
endmacro()

# bracket(VARIABLE VALUE): VALUE as a bracket argument no byte of it closes,
# a ] at its end included. The newline after the opening bracket is
# dropped on reading, so VALUE may begin with one.
function(bracket variable value)
  set(equals "")
  string(FIND "${value}]" "]${equals}]" at)
  while(at GREATER -1)
    string(APPEND equals "=")
    string(FIND "${value}]" "]${equals}]" at)
  endwhile()
  set(${variable} "[${equals}[\n${value}]${equals}]" PARENT_SCOPE)
endfunction()

# recordable(VARIABLE VALUE): whether VALUE reads back from the record the
# same; CMake reads a carriage return before a newline as the newline.
function(recordable variable value)
  bracket(quoted "${value}")
  cmake_language(EVAL CODE "set(back ${quoted})")
  string(COMPARE EQUAL "${back}" "${value}" same)
  set(${variable} ${same} PARENT_SCOPE)
endfunction()

# write_record(FILE): the variables above to FILE, whole at every instant,
# owned by the build folder's owner.
function(write_record file)
  set(text "# What installs from this build folder wrote, for its uninstall\n")
  foreach(name IN ITEMS record_destdir record_root record_prefix)
    bracket(quoted "${${name}}")
    string(APPEND text "set(${name} ${quoted})\n")
  endforeach()
  foreach(kind IN ITEMS file made)
    string(APPEND text "set(${kind}_count ${${kind}_count})\n")
    set(n 0)
    while(n LESS ${kind}_count)
      bracket(quoted "${${kind}_${n}}")
      string(APPEND text "set(${kind}_${n} ${quoted})\n")
      if(DEFINED ${kind}_${n}_sha256)
        string(APPEND text "set(${kind}_${n}_sha256 ${${kind}_${n}_sha256})\n")
      endif()
      math(EXPR n "${n} + 1")
    endwhile()
  endforeach()
  file(WRITE "${file}.partial" "${text}")
  give_to_builder("${file}.partial")
  file(RENAME "${file}.partial" "${file}")
  get_filename_component(folder "${file}" DIRECTORY)
  file(REMOVE "${folder}/install_folders.cmake")
endfunction()

# zsh_completions(VARIABLE PREFIX): zsh's completion folder, below PREFIX
# unless absolute: INSTALL_ZSH_COMPLETIONDIR if set; else Debian's
# zsh/vendor-completions under /usr, and zsh/site-functions, where zsh
# looks by default, under any other prefix.
function(zsh_completions variable prefix)
  if(NOT INSTALL_ZSH_COMPLETIONDIR STREQUAL "")
    set(${variable} "${INSTALL_ZSH_COMPLETIONDIR}" PARENT_SCOPE)
  elseif(prefix MATCHES "^/usr/*$")
    set(${variable} "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions" PARENT_SCOPE)
  else()
    set(${variable} "${CMAKE_INSTALL_DATADIR}/zsh/site-functions" PARENT_SCOPE)
  endif()
endfunction()

# give_to_builder(FILE): FILE, in the build folder, given to the folder's
# owner when root wrote it, who can then still build and install from it.
function(give_to_builder file)
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(uid STREQUAL "0")
    get_filename_component(folder "${file}" DIRECTORY)
    execute_process(COMMAND chown "--reference=${folder}" -- "${file}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endfunction()
