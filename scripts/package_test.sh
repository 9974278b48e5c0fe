#!/usr/bin/env bash
# Builds the Debian package from a full build folder (cpack -G DEB) and checks it: its files
# (the manual pages, copyright and changelog among them), lintian's verdict (no error or
# warning), its dependencies and description, its desktop entry (desktop-file-validate), and that it
# installs, runs and goes away again (dpkg -i, the programs' --help and --version, dpkg -r).
# Needs root for dpkg -i; an installed torvane package is replaced and then removed.
#
# Usage: scripts/package_test.sh [BUILD]   (a built full folder; default build)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-${root}/build}" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${build}/CMakeCache.txt")"
work="${build}/package-test"
rm -rf "${work}" "${build}"/torvane_*.deb
mkdir -p "${work}"

# The manual pages and the changelog are made from the built programs.
cmake --build "${build}" --target torvane_docs >"${work}/docs.log" 2>&1 || { cat "${work}/docs.log" >&2; exit 1; }
(cd "${build}" && cpack -G DEB >"${work}/cpack.log" 2>&1) || { cat "${work}/cpack.log" >&2; exit 1; }
deb="$(ls "${build}"/torvane_"${version}"_*.deb)"
echo "-- ${deb##*/}"

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1" >&2
  fi
}
has() { grep -q -- "$2" "$1"; }

dpkg-deb -c "${deb}" | awk '{print $6}' >"${work}/files"
for f in ./usr/bin/torvane ./usr/bin/torvane-cli ./usr/bin/torvane-sim \
  ./usr/share/applications/torvane.desktop ./usr/share/icons/hicolor/scalable/apps/torvane.svg; do
  check "the package holds ${f}" grep -qx -- "${f}" "${work}/files"
done
check "the package holds nothing outside /usr/bin and /usr/share" \
  bash -c "! grep -v -e '^\./$' -e '^\./usr/$' -e '^\./usr/bin/' -e '^\./usr/share/' '${work}/files'"

for f in ./usr/share/doc/torvane/copyright ./usr/share/doc/torvane/changelog.gz \
  ./usr/share/man/man1/torvane.1.gz ./usr/share/man/man1/torvane-cli.1.gz \
  ./usr/share/man/man1/torvane-sim.1.gz; do
  check "the package holds ${f}" grep -qx -- "${f}" "${work}/files"
done
# What Debian's own checks say of it: any error or warning fails (information is shown).
lintian --tag-display-limit 0 "${deb}" >"${work}/lintian.log" 2>&1 || true
sed 's/^/   lintian: /' "${work}/lintian.log"
check "lintian reports no error or warning" \
  bash -c "! grep -E '^[EW]:' '${work}/lintian.log' >&2"

dpkg-deb -f "${deb}" Depends >"${work}/depends"
check "it depends on Qt 6 Widgets" has "${work}/depends" 'libqt6widgets6'
check "it depends on QCustomPlot for Qt 6" has "${work}/depends" 'libqcustomplot2.1-qt6'
dpkg-deb -f "${deb}" Description >"${work}/description"
check "its description tells about the dialout group" has "${work}/description" 'dialout'

dpkg-deb -x "${deb}" "${work}/root"
check "the desktop entry is valid" \
  desktop-file-validate "${work}/root/usr/share/applications/torvane.desktop"
check "the desktop entry starts the console with its icon" \
  bash -c "grep -qx 'Exec=torvane' '${work}/root/usr/share/applications/torvane.desktop' &&
           grep -qx 'Icon=torvane' '${work}/root/usr/share/applications/torvane.desktop'"

# dpkg waits for nobody: retry while another installation holds its lock.
dpkg_retry() {
  for _ in $(seq 60); do
    if "$@" >"${work}/dpkg.log" 2>&1; then return 0; fi
    grep -q 'lock' "${work}/dpkg.log" || { cat "${work}/dpkg.log" >&2; return 1; }
    sleep 2
  done
  cat "${work}/dpkg.log" >&2
  return 1
}
check "dpkg -i installs it" dpkg_retry dpkg -i "${deb}"
# Without a display the console still answers --help and --version.
for program in torvane torvane-cli torvane-sim; do
  check "${program} --help prints its usage on standard output" bash -c "env -u DISPLAY \
    -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/${program} --help 2>/dev/null | grep -qi '^usage'"
  check "${program} --version tells ${version}" bash -c "env -u DISPLAY -u WAYLAND_DISPLAY \
    -u QT_QPA_PLATFORM /usr/bin/${program} --version 2>/dev/null | grep -qx '${program} ${version}'"
done
check "dpkg -r removes it" dpkg_retry dpkg -r torvane
check "nothing is left in /usr/bin" \
  bash -c '! ls /usr/bin/torvane /usr/bin/torvane-cli /usr/bin/torvane-sim 2>/dev/null'

echo "${passed} passed, ${failed} failed"
[[ "${failed}" -eq 0 ]]
