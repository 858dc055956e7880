# SPDX-License-Identifier: MIT
# Whether the tests are built, decided before CTest is included. bats runs
# the programs; zsh and fish test their completions; GoogleTest feeds the
# programs' functions other data, which only a build of them can; and a
# cross build's tests run its programs through CMAKE_CROSSCOMPILING_EMULATOR.
# Told -DBUILD_TESTING=ON, configure fails naming all that is missing. Told
# nothing, it builds the tests when all of it is here, and otherwise says
# in one line what is missing, so that a packager's cross or nocheck build
# needs no override.
set(missing "")
set(packages "")
if(NOT DEFINED CACHE{BUILD_TESTING} OR BUILD_TESTING)
  foreach(tool IN ITEMS bats zsh fish)
    string(TOUPPER ${tool} variable)
    find_program(${variable} ${tool})
    if(NOT ${variable})
      list(APPEND packages ${tool})
    endif()
  endforeach()
  if(NOT INSTALLED_PREFIX)
    find_package(GTest QUIET)
    if(NOT GTest_FOUND AND CMAKE_CROSSCOMPILING)
      list(APPEND packages libgtest-dev:ARCH)
    elseif(NOT GTest_FOUND)
      list(APPEND packages libgtest-dev)
    endif()
  endif()
  if(packages)
    list(JOIN packages " " packages)
    set(missing "${packages} (apt-get install ${packages})")
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    if(missing)
      string(APPEND missing " and ")
    endif()
    string(APPEND missing "an emulator (qemu-user's: "
                          "-DCMAKE_CROSSCOMPILING_EMULATOR='qemu-ARCH;-L;/usr/TRIPLET')")
  endif()
endif()

if(DEFINED CACHE{BUILD_TESTING})
  if(BUILD_TESTING AND missing)
    message(FATAL_ERROR "The tests need ${missing}, missing here; "
                        "or configure with -DBUILD_TESTING=OFF.")
  endif()
elseif(missing)
  message(STATUS "Tests off: they need ${missing}; -DBUILD_TESTING=ON requires them")
  set(BUILD_TESTING OFF)
else()
  set(BUILD_TESTING ON)
endif()

# What the bats files are told of the emulator, a list in one variable.
set(test_emulator "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  string(REPLACE ";" "\\;" test_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  set(test_emulator ";TEST_EMULATOR=${test_emulator}")
endif()
