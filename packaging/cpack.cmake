# SPDX-License-Identifier: MIT
# Read by cpack before it makes each package. A packager's SOURCE_DATE_EPOCH
# wins; without one, the packages carry the date of NEWS's top entry, so that
# two builds of one commit are the same on any day.
# One set but empty is taken as unset, as dpkg and rpm take it.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_NEWS_EPOCH}")
endif()
# cpack's installs into its staging folder are not a user's install: the
# uninstall target's record leaves them out (install-begin.cmake).
set(ENV{GRIDCHECK_PATHLIST_STAGING} 1)
