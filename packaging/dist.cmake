# SPDX-License-Identifier: MIT
# cmake -DSOURCE=DIR -DPREFIX=NAME -DOUTPUT=FILE -P dist.cmake
# Writes FILE, an xz-compressed tarball of exactly the files git tracks at
# HEAD in DIR, below NAME/. Anywhere but the top of a git checkout of DIR (an
# unpacked tarball, a copy inside another repository) it fails, and says so.
execute_process(COMMAND git -C ${SOURCE} rev-parse --show-toplevel
  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(NOT failed)
  file(REAL_PATH ${top} top)
  file(REAL_PATH ${SOURCE} source)
endif()
if(failed OR NOT top STREQUAL source)
  message(FATAL_ERROR "dist: ${SOURCE} is not the top of a git checkout; "
                      "the source tarball is made from git's HEAD, so make it in a clone")
endif()
file(REMOVE ${OUTPUT})
execute_process(COMMAND git -C ${SOURCE} archive --format=tar --prefix=${PREFIX}/ HEAD
                COMMAND xz -9
  OUTPUT_FILE ${OUTPUT}.partial RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  file(REMOVE ${OUTPUT}.partial)
  message(FATAL_ERROR "dist: git archive | xz failed (${results})")
endif()
file(RENAME ${OUTPUT}.partial ${OUTPUT})
