# SPDX-License-Identifier: MIT
# Whether the tests are built, decided before CTest is included. They need
# the packages listed in test_harness/packages: bats runs the programs,
# zsh and fish test their completions, GoogleTest feeds the programs'
# functions other data, and the rest serve single cases. A cross build's
# tests also run its programs through CMAKE_CROSSCOMPILING_EMULATOR.
# Told -DBUILD_TESTING=ON, configure fails naming all that is missing; told
# -DBUILD_TESTING=OFF (a packager's nocheck build), it builds no tests.
# Told nothing, it builds the tests when all of it is here, and otherwise
# says in one line what is missing, and the one test it adds fails saying
# the same: a test run never passes by running nothing.
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
      # Debian's own first: a command found on this user's PATH alone (a
      # shim in a home folder) may be one the suite, run as another user,
      # cannot start.
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
    if(missing)
      string(APPEND missing " and ")
    endif()
    string(APPEND missing "an emulator (qemu-user's: "
                          "-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-ARCH, docs/PORTING.md)")
  endif()
endif()

set(tests_missing "")
if(DEFINED CACHE{BUILD_TESTING})
  if(BUILD_TESTING AND missing)
    message(FATAL_ERROR "The tests need ${missing}, missing here; "
                        "or configure with -DBUILD_TESTING=OFF.")
  endif()
elseif(missing)
  message(STATUS "Tests off: they need ${missing}; -DBUILD_TESTING=ON requires them")
  set(BUILD_TESTING OFF)
  set(tests_missing "${missing}")
else()
  set(BUILD_TESTING ON)
endif()

# What the bats files are told of the emulator, a list in one variable.
set(test_emulator "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  string(REPLACE ";" "\\;" test_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  set(test_emulator ";TEST_EMULATOR=${test_emulator}")
endif()
