# The Debian package, built in a full build folder with `cpack -G DEB`: the console, torvane-cli
# and torvane-sim in /usr/bin, the desktop entry and its icon. The runtime libraries it needs
# (Qt 6, QCustomPlot) are found by dpkg-shlibdeps from the programs themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Torvane")
set(CPACK_PACKAGE_CONTACT "Torvane maintainers <torvane@localhost>")
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
