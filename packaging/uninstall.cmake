# SPDX-License-Identifier: MIT
# cmake -DMANIFEST=FILE -DFOLDERS=FILE -P uninstall.cmake
# Removes every file the last install from this build folder wrote (CMake's
# install_manifest.txt, which names them without DESTDIR, as cmake --install
# is given it), then every folder an install made (install-dirs.cmake, which
# names them as made) once it is empty, deepest first. Folders that were
# there before, and anything put in them since, are left as they are.
if(NOT EXISTS ${MANIFEST})
  message(FATAL_ERROR "Nothing was installed from this build folder: no ${MANIFEST}")
endif()
file(STRINGS ${MANIFEST} files)
foreach(file IN LISTS files)
  set(file "$ENV{DESTDIR}${file}")
  if(EXISTS ${file} OR IS_SYMLINK ${file})
    message(STATUS "Removing ${file}")
    file(REMOVE ${file})
  endif()
endforeach()

set(folders "")
if(EXISTS ${FOLDERS})
  file(STRINGS ${FOLDERS} folders)
endif()
# Deepest first: a folder's subfolders come after it in the list, and
# reversed, before it.
list(SORT folders)
list(REVERSE folders)
set(kept "")
foreach(folder IN LISTS folders)
  file(GLOB left LIST_DIRECTORIES true ${folder}/* ${folder}/.*)
  if(IS_DIRECTORY ${folder} AND NOT left)
    message(STATUS "Removing ${folder}/")
    file(REMOVE_RECURSE ${folder})
  elseif(IS_DIRECTORY ${folder})
    list(APPEND kept ${folder})
  endif()
endforeach()
# What is left, a later install of files into it may still empty.
list(JOIN kept "\n" kept)
file(WRITE ${FOLDERS} "${kept}")
