# SPDX-License-Identifier: MIT
# cmake -DSOURCE=DIR -DNAME=PROJECT -DVERSION=X.Y.Z -DOUTPUT=FOLDER -P dist.cmake
# Writes to FOLDER PROJECT-VERSION.tar.xz (at the commit that set VERSION;
# PROJECT-VERSION-N-gHASH N commits on), of exactly the files git tracks at
# HEAD, below a folder of that name, and its .sha256 for sha256sum -c.
# Anywhere but the top of a git checkout, or without git, it says why.
find_program(GIT git)
if(NOT GIT)
  message(FATAL_ERROR "dist: git is not installed; "
                      "the source tarball is made from git's HEAD (apt-get install git)")
endif()
execute_process(COMMAND git -C ${SOURCE} rev-parse --show-cdup
  OUTPUT_VARIABLE up OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR up)
  message(FATAL_ERROR "dist: ${SOURCE} is not the top of a git checkout; "
                      "the source tarball is made from git's HEAD, so make it in a clone")
endif()

# git(VARIABLE ARG...): the output of git ARG..., which must succeed.
function(git variable)
  execute_process(COMMAND git -C ${SOURCE} ${ARGN} OUTPUT_VARIABLE output
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${variable} "${output}" PARENT_SCOPE)
endfunction()
git(release log -1 --format=%H "-SVERSION ${VERSION}" -- CMakeLists.txt)
if(NOT release)
  message(FATAL_ERROR "dist: no commit sets VERSION ${VERSION} in CMakeLists.txt")
endif()
git(after rev-list --count ${release}..HEAD)
set(tarball ${NAME}-${VERSION})
if(after GREATER 0)
  git(head rev-parse --short=7 HEAD)
  string(APPEND tarball -${after}-g${head})
endif()

set(archive ${OUTPUT}/${tarball}.tar.xz)
file(REMOVE ${archive} ${archive}.sha256)
# One thread: xz's output is then the same whatever the machine.
execute_process(COMMAND git -C ${SOURCE} archive --format=tar --prefix=${tarball}/ HEAD
                COMMAND xz -9 -T1
  OUTPUT_FILE ${archive}.partial RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  file(REMOVE ${archive}.partial)
  message(FATAL_ERROR "dist: git archive | xz failed (${results})")
endif()
file(RENAME ${archive}.partial ${archive})
file(SHA256 ${archive} checksum)
file(WRITE ${archive}.sha256.partial "${checksum}  ${tarball}.tar.xz\n")
file(RENAME ${archive}.sha256.partial ${archive}.sha256)
message(STATUS "dist: ${tarball}.tar.xz, SHA-256 ${checksum}")
