# SPDX-License-Identifier: MIT
# Whether the tests are built, before CTest is included: they need the
# packages of test_harness/packages, and a cross build an emulator. Told
# -DBUILD_TESTING=ON, configure fails naming what is missing; told OFF (a
# nocheck build), it builds none; told nothing, it builds them if all is
# here, or else says what is missing, and ctest fails saying it too.
set(missing "")
set(packages "")
if(NOT DEFINED CACHE{BUILD_TESTING} OR BUILD_TESTING)
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/packages lines REGEX "^[^#]")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${CMAKE_CURRENT_LIST_DIR}/packages)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE " +" ";" fields "${line}")
    list(GET fields 0 package)
    list(GET fields 1 probe)
    if(INSTALLED_PREFIX AND fields MATCHES ";built$")
      continue()
    endif()
    if(package STREQUAL "libgtest-dev")
      # The target's own, in a cross build.
      find_package(GTest QUIET)
      if(NOT GTest_FOUND AND CMAKE_CROSSCOMPILING)
        list(APPEND packages libgtest-dev:ARCH)
      elseif(NOT GTest_FOUND)
        list(APPEND packages libgtest-dev)
      endif()
    elseif(IS_ABSOLUTE "${probe}")
      if(NOT EXISTS "${probe}")
        list(APPEND packages ${package})
      endif()
    else()
      # Debian's first: one on this user's PATH alone another cannot run.
      string(MAKE_C_IDENTIFIER "${probe}" variable)
      string(TOUPPER "${variable}" variable)
      find_program(${variable} ${probe} PATHS /usr/bin NO_DEFAULT_PATH)
      find_program(${variable} ${probe})
      if(NOT ${variable})
        list(APPEND packages ${package})
      endif()
    endif()
  endforeach()
  if(packages)
    list(JOIN packages " " packages)
    set(missing "${packages} (apt-get install ${packages})")
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    list(APPEND missing "an emulator (qemu-user's: -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-ARCH, docs/PORTING.md)")
  endif()
  list(JOIN missing " and " missing)
endif()

if(DEFINED CACHE{BUILD_TESTING})
  if(BUILD_TESTING AND missing)
    message(FATAL_ERROR "The tests need ${missing}, missing here; "
                        "or configure with -DBUILD_TESTING=OFF.")
  endif()
elseif(missing)
  message(STATUS "Tests off: they need ${missing}; -DBUILD_TESTING=ON requires them")
  set(BUILD_TESTING OFF)
  # ctest fails, naming what to install, rather than pass having run nothing.
  enable_testing()
  add_test(NAME "tests off, they need ${missing}"
    COMMAND sh -c [[printf '%s\n' "$1" >&2; exit 1]] sh
            "The tests are off: they need ${missing}. Install them and configure again.")
else()
  set(BUILD_TESTING ON)
endif()

# The emulator as the bats files' TEST_EMULATOR: a list in one variable.
string(REPLACE ";" "\\;" test_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
