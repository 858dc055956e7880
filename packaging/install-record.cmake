# SPDX-License-Identifier: MIT
# The record of what installs from a build folder wrote, which the uninstall
# target goes by, rather than CMake's install_manifest.txt: cpack rewrites
# that with the paths of its staging installs, it leaves DESTDIR out, a
# semicolon or a newline in a path splits it, and it outlives an uninstall.
# The record is install_record.cmake in the build folder, a CMake script
# that sets:
#   record_destdir    DESTDIR as the last install was given it, or empty
#   record_root       that DESTDIR made absolute, as the install resolved it
#   record_prefix     the last install's prefix
#   file_count        how many files the last install wrote and the uninstall
#                     has not removed; file_N each one's path, DESTDIR
#                     included, and file_N_sha256 what it held
#   made_count        how many folders installs made and the uninstall has
#                     not removed; made_N each one's path, in the order made
# Every path is a bracket argument, so that it comes back byte for byte
# whatever it holds; install-begin.cmake refuses, before anything is
# written, a path that would not (recordable).

# read_record(FILE): sets the variables above from FILE; with no FILE, as
# for a build folder nothing was installed from.
macro(read_record file)
  # 0.8.0 kept the folders its installs made apart, in
  # install_folders.cmake beside the record and in the record's own
  # variables: read first, they follow the record's own, to be removed when
  # empty like them (the uninstall goes in passes, and skips a folder
  # already gone); the file goes once the record is written.
  get_filename_component(earlier "${file}" DIRECTORY)
  set(made_count 0)
  if(EXISTS "${earlier}/install_folders.cmake")
    include("${earlier}/install_folders.cmake")
  endif()
  set(earlier ${made_count})
  foreach(n RANGE ${earlier})
    set(earlier_${n} "${made_${n}}")
  endforeach()
  set(record_destdir "")
  set(record_root "")
  set(record_prefix "")
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

# bracket(VARIABLE VALUE): VALUE as a bracket argument, which no byte of it
# closes, nor a ] that ends it with the closing bracket's first. The
# newline after the opening bracket is dropped when it is read, so that
# VALUE may begin with one too.
function(bracket variable value)
  set(equals "")
  string(FIND "${value}]" "]${equals}]" at)
  while(at GREATER -1)
    string(APPEND equals "=")
    string(FIND "${value}]" "]${equals}]" at)
  endwhile()
  set(${variable} "[${equals}[\n${value}]${equals}]" PARENT_SCOPE)
endfunction()

# recordable(VARIABLE VALUE): whether VALUE, as the record writes it, is
# read back the same: CMake reads a carriage return before a newline as
# the newline alone.
function(recordable variable value)
  bracket(quoted "${value}")
  cmake_language(EVAL CODE "set(back ${quoted})")
  if(back STREQUAL value)
    set(${variable} ON PARENT_SCOPE)
  else()
    set(${variable} OFF PARENT_SCOPE)
  endif()
endfunction()

# write_record(FILE): writes the variables above to FILE, which is whole at
# every instant, and gives it to whoever owns the build folder.
function(write_record file)
  set(text "# What installs from this build folder wrote, for its uninstall target\n")
  foreach(name IN ITEMS record_destdir record_root record_prefix)
    bracket(quoted "${${name}}")
    string(APPEND text "set(${name} ${quoted})\n")
  endforeach()
  string(APPEND text "set(file_count ${file_count})\n")
  set(n 0)
  while(n LESS file_count)
    bracket(quoted "${file_${n}}")
    string(APPEND text "set(file_${n} ${quoted})\nset(file_${n}_sha256 ${file_${n}_sha256})\n")
    math(EXPR n "${n} + 1")
  endwhile()
  string(APPEND text "set(made_count ${made_count})\n")
  set(n 0)
  while(n LESS made_count)
    bracket(quoted "${made_${n}}")
    string(APPEND text "set(made_${n} ${quoted})\n")
    math(EXPR n "${n} + 1")
  endwhile()
  file(WRITE "${file}.partial" "${text}")
  give_to_builder("${file}.partial")
  file(RENAME "${file}.partial" "${file}")
  get_filename_component(folder "${file}" DIRECTORY)
  file(REMOVE "${folder}/install_folders.cmake")
endfunction()

# zsh_completions(VARIABLE PREFIX): the folder zsh's completion goes in,
# below PREFIX unless absolute: INSTALL_ZSH_COMPLETIONDIR when set; else
# zsh/vendor-completions under /usr, as Debian's zsh has it, and
# zsh/site-functions under any other prefix, where zsh looks by default.
function(zsh_completions variable prefix)
  if(NOT INSTALL_ZSH_COMPLETIONDIR STREQUAL "")
    set(${variable} "${INSTALL_ZSH_COMPLETIONDIR}" PARENT_SCOPE)
  elseif(prefix MATCHES "^/usr/*$")
    set(${variable} "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions" PARENT_SCOPE)
  else()
    set(${variable} "${CMAKE_INSTALL_DATADIR}/zsh/site-functions" PARENT_SCOPE)
  endif()
endfunction()

# give_to_builder(FILE): FILE, in the build folder, owned by whoever owns
# the folder, when root wrote it there: after `sudo cmake --install`, the
# folder's owner can still build, install elsewhere and run cpack in it.
function(give_to_builder file)
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(uid STREQUAL "0")
    get_filename_component(folder "${file}" DIRECTORY)
    execute_process(COMMAND chown "--reference=${folder}" -- "${file}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endfunction()
