# SPDX-License-Identifier: MIT
# Read by cpack before each package: without a SOURCE_DATE_EPOCH (empty is
# none, as for dpkg and rpm), the date of NEWS's top entry.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_NEWS_EPOCH}")
endif()
# Its staging installs are not recorded for the uninstall.
set(ENV{GRIDCHECK_PATHLIST_STAGING} 1)
