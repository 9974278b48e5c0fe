#!/usr/bin/env bash
# Sets everything up, builds Torvane and runs every test: a Release build of the programs with
# Debian's build flags and warnings as errors (the package is made from it), every
# test program built and run under AddressSanitizer + UndefinedBehaviorSanitizer, the protocol,
# serial, session and simulated-drive tests under
# ThreadSanitizer (with the simulated drive), the frame fuzzer for a bounded time, the Windows
# cross-build with its tests and torvane-cli.exe under wine, and the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=${JOBS:-$(nproc)}
root=$PWD
# The same sources compile to the same objects in every build folder and every clone: ccache
# keeps them, keyed on paths relative to the clone, so a second run (or another clone on this
# machine) compiles only what changed.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 \
  CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
export QT_QPA_PLATFORM=offscreen
start=$SECONDS
step() { printf '\n== %s (at %d s)\n' "$*" $((SECONDS - start)); }

step "release build, as Debian builds packages, warnings as errors: the programs, the benchmarks and the package's contents"
# Debian's own build flags (hardening, fortify, format checks) on top of the Release build's
# -O3: a warning either level brings out fails here, not on a user's machine.
# Without the path maps (reproducible=-fixfilepath,-fixdebugpath) the flags are the same in
# every clone, so the objects in ccache serve them all.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVANE_WERROR=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DTORVANE_CORE_ONLY=OFF -DTORVANE_SANITIZE= >/dev/null
unset DEB_BUILD_MAINT_OPTIONS
scripts/check_tests_registered.sh build
scripts/check_layering.sh build
# The test programs are built and run once, under the sanitizers below: building them twice
# would double the time of the whole command on a two-core machine.
cmake --build build -j "$jobs" --target torvane torvane-cli torvane-sim torvane_docs \
  protocol_bench ct_chart_bench plant_sweep autotune_bench

step "every test under the address + undefined behaviour sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVANE_SANITIZE=address -DTORVANE_CORE_ONLY=OFF \
  -DTORVANE_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
(cd build-asan && ctest --output-on-failure -j "$jobs")

step "thread sanitizer: protocol, serial and simulated drive"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVANE_SANITIZE=thread \
  -DTORVANE_CORE_ONLY=ON -DTORVANE_WERROR=ON >/dev/null
# The programs labelled tsan: the protocol, serial, session and simulated-drive tests.
cmake --build build-tsan -j "$jobs" --target $(cat build-tsan/tsan_programs.txt)
# Address-space randomisation on recent kernels can break the sanitizer's memory layout.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# Each discovered test carries its program's name as its label (gtest_discover_tests keeps only
# the first label, so "tsan" itself does not reach the tests): select the programs by name.
tsan_labels="^($(tr -s ' \n' '|' < build-tsan/tsan_programs.txt | sed 's/|$//'))\$"
(cd build-tsan && setarch "$(uname -m)" -R ctest --output-on-failure -j "$jobs" -L "$tsan_labels")

step "frame fuzzer"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh

step "Windows: cross-build, core tests and torvane-cli.exe under wine"
scripts/wine_test.sh build

step "Debian package: contents, desktop entry, install and removal"
scripts/package_test.sh build

step "all tests passed"
