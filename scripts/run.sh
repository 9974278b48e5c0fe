#!/usr/bin/env bash
# Sets everything up, builds Torvane and starts the console. Arguments go to the program:
#   scripts/run.sh --simulate            the console, connected to a simulated drive
#   scripts/run.sh --simulate --plant belt   ... whose loops drive a compliant belt
#   scripts/run.sh --port /dev/ttyUSB0   the console with that port preselected
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVANE_CORE_ONLY=OFF -DTORVANE_SANITIZE= >/dev/null
cmake --build build --target torvane torvane-cli torvane-sim
exec build/src/app/torvane "$@"
