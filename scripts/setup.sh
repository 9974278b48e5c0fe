#!/usr/bin/env bash
# Installs what building and testing Torvane needs (Debian 12 packages), only what is missing,
# and generates the de_DE.UTF-8 locale (a decimal-comma locale the tests run the console
# under). Safe to run any number of times. Needs root (or sudo) only when something must be
# installed or generated.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config ccache
  libgtest-dev libgmock-dev
  qt6-base-dev libqcustomplot-dev
  fonts-noto-cjk xvfb xauth
  locales
  g++-mingw-w64-x86-64-posix googletest wine wine64
  dpkg-dev desktop-file-utils help2man lintian
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "Run as root to do: $*" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  as_root localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
