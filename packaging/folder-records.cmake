# SPDX-License-Identifier: MIT
# The folders installs made, as install-dirs.cmake keeps them for
# uninstall.cmake: a CMake script that sets made_count and made_0, made_1,
# ... in the order the folders were made, each path a bracket argument, so
# that it comes back byte for byte whatever it holds ([, *, ?, a
# semicolon, a newline).

# read_folders(FILE): sets made_count and made_N from FILE, none if there
# is no FILE.
macro(read_folders file)
  set(made_count 0)
  if(EXISTS "${file}")
    include("${file}")
  endif()
endmacro()

# write_folders(FILE): writes made_count and made_N to FILE, which is whole
# at every instant.
function(write_folders file)
  set(text "set(made_count ${made_count})\n")
  set(n 0)
  while(n LESS made_count)
    # A bracket no path closes; the newline after the opening one is
    # dropped when read, so that a path may begin with one too.
    set(equals "=")
    string(FIND "${made_${n}}" "]${equals}]" at)
    while(at GREATER -1)
      string(APPEND equals "=")
      string(FIND "${made_${n}}" "]${equals}]" at)
    endwhile()
    string(APPEND text "set(made_${n} [${equals}[\n${made_${n}}]${equals}])\n")
    math(EXPR n "${n} + 1")
  endwhile()
  file(WRITE "${file}.partial" "${text}")
  file(RENAME "${file}.partial" "${file}")
endfunction()
