# The Debian package, built in a full build folder with `cpack -G DEB`: the console, torvane-cli
# and torvane-sim in /usr/bin, the desktop entry and its icon. The runtime libraries it needs
# (Qt 6, QCustomPlot) are found by dpkg-shlibdeps from the programs themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Torvane")
# The package's Maintainer: whoever builds and ships it. By Debian's convention DEBFULLNAME and
# DEBEMAIL say who that is, else the source tree's git identity; never an address nobody reads.
if(NOT DEFINED TORVANE_MAINTAINER)
  set(maintainer "")
  if(DEFINED ENV{DEBEMAIL} AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
    set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
  else()
    find_package(Git QUIET)
    if(GIT_FOUND)
      execute_process(COMMAND ${GIT_EXECUTABLE} config user.name
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE git_name
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      execute_process(COMMAND ${GIT_EXECUTABLE} config user.email
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE git_email
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(git_name AND git_email)
        set(maintainer "${git_name} <${git_email}>")
      endif()
    endif()
  endif()
  string(STRIP "${maintainer}" maintainer)
  set(TORVANE_MAINTAINER "${maintainer}" CACHE STRING
    "The Debian package's Maintainer, \"Name <address>\"")
endif()
if(TORVANE_MAINTAINER STREQUAL "")
  message(STATUS "TORVANE_MAINTAINER is empty: set -DTORVANE_MAINTAINER=\"Name <address>\" "
    "(or DEBFULLNAME and DEBEMAIL) before building the package")
endif()
set(CPACK_PACKAGE_CONTACT "${TORVANE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "engineering console for a servo drive on a serial line")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Torvane watches one servo drive over a serial port (motor state, faults, live
values with a live plot), drives the motor, edits and stores the drive's
parameter set, tunes the current, speed and position loops with step tests,
runs motor matching and sets the drive's CAN address and baud rate.
.
The package holds the console (torvane), the command-line tool for scripts
and production lines (torvane-cli) and a simulated drive on a
pseudo-terminal (torvane-sim), so every feature can be tried without
hardware.
.
Serial ports belong to the dialout group: to open one, add yourself to it
(sudo adduser $USER dialout) and log in again.")
# Chinese window titles and texts need a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
find_program(TORVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TORVANE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, libqcustomplot2.1-qt6, libstdc++6, libc6")
endif()
include(CPack)
