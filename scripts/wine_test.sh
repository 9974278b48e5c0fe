#!/usr/bin/env bash
# Cross-builds the Qt-free core, torvane-cli and the core tests for Windows (mingw-w64) in
# build-mingw and proves them under wine, in a private prefix (build-mingw/wineprefix):
#   - the core test programs pass (ctest; serial_win_tests talks to a simulated drive on COM12);
#   - torvane-cli.exe talks to the Linux torvane-sim through COM ports of the prefix: version,
#     port search (with a device's friendly name), status, an error reply, a silent register,
#     the exclusive open, an 8192-byte capture read back, and a drive that goes away while a
#     reply is awaited.
# COM12 and COM13 are ports defined in the prefix's registry whose devices are the links that
# the simulated drives make to their pseudo-terminals (--link), so the prefix outlives them.
#
# Usage: scripts/wine_test.sh [LINUX_BUILD]   (a built Linux folder with torvane-sim and
#        torvane-cli; default build)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux="$(cd "${1:-${root}/build}" && pwd)"
build="${root}/build-mingw"
jobs=${JOBS:-$(nproc)}
sim="${linux}/src/sim/torvane-sim"
linux_cli="${linux}/src/cli/torvane-cli"
for tool in "${sim}" "${linux_cli}"; do
  [[ -x "${tool}" ]] || { echo "wine_test: ${tool} is missing: build ${linux} first" >&2; exit 1; }
done

cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/mingw-w64-x86_64.cmake" -DTORVANE_CORE_ONLY=ON \
  -DTORVANE_WERROR=ON >/dev/null
cmake --build "${build}" -j "${jobs}"
cli="${build}/src/cli/torvane-cli.exe"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${build}/CMakeCache.txt")"

# wine: a private prefix, no debug chatter, no offer to install Mono or Gecko, no display.
export WINEPREFIX="${build}/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
ports="${build}/wine-ports"
work="${build}/wine-test"
rm -rf "${work}"
mkdir -p "${ports}" "${work}"
cd "${work}"

# The prefix, made once (wineboot takes a while the first time) and kept with its ports.
stamp="${WINEPREFIX}/torvane-ports"
wanted="COM12=${ports}/com12 COM13=${ports}/com13 COM13-device"
if [[ ! -f "${stamp}" || "$(cat "${stamp}")" != "${wanted}" ]]; then
  echo "-- creating the wine prefix ${WINEPREFIX}"
  rm -rf "${WINEPREFIX}"
  wineboot -i </dev/null >"${build}/wineboot.log" 2>&1
  for port in COM12 COM13; do
    wine reg add 'HKLM\Software\Wine\Ports' /v "${port}" /d "${ports}/${port,,}" /f \
      </dev/null >>"${build}/wineboot.log" 2>&1
  done
  # COM13 as Windows records a USB adapter: a device key that names the port in its Device
  # Parameters and carries the name Device Manager shows. COM12 has none.
  device='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+TORVANE13A\0000'
  wine reg add "${device}" /v FriendlyName /d 'USB Serial Port (COM13)' /f \
    </dev/null >>"${build}/wineboot.log" 2>&1
  wine reg add "${device}\Device Parameters" /v PortName /d COM13 /f \
    </dev/null >>"${build}/wineboot.log" 2>&1
  wineserver -w  # the ports are made when the next server starts
  echo "${wanted}" >"${stamp}"
fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "${pid}" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# One wine server and its services for the whole run, their output in a log: wine's background
# processes inherit the output of whoever starts them, and the server prints a dump when the
# first terminal it opened hangs up (it becomes its controlling terminal).
wineserver -p </dev/null >"${work}/wineserver.log" 2>&1 &
wine cmd.exe /c exit 0 </dev/null >>"${work}/wineserver.log" 2>&1

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...: one named check
  if "${@:2}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1" >&2
  fi
}
contains() { grep -qF -- "$2" "$1"; }
# run NAME ARGS...: torvane-cli.exe with ARGS; output in NAME.out and NAME.err, status in rc_NAME
run() {
  local name=$1
  shift
  set +e
  wine "${cli}" "$@" </dev/null >"${name}.out" 2>"${name}.err"
  printf -v "rc_${name}" '%s' $?
  set -e
}
rc() { local v="rc_$1"; [[ "${!v}" == "$2" ]]; }
# start_drive NAME LINK OPTIONS...: a simulated drive behind LINK, its requests in NAME.trace
start_drive() {
  local name=$1 link=$2
  shift 2
  rm -f "${link}"
  "${sim}" --link "${link}" --trace "$@" >"${name}.out" 2>"${name}.trace" &
  pids+=($!)
  for _ in $(seq 100); do [[ -L "${link}" ]] && return 0; sleep 0.05; done
  echo "wine_test: ${name} did not start" >&2
  exit 1
}
# wait_request TRACE PREFIX: until the drive received a request starting with PREFIX (hex)
wait_request() {
  for _ in $(seq 400); do grep -q "^$2" "$1" && return 0; sleep 0.025; done
  return 1
}

# Drive A: register 0x2300 never answers, requests for 0x0300 get result 8, and its timed
# behaviours run 20 times as fast.
start_drive driveA "${ports}/com12" --silence 0x2300 --error 0x0300=8 --time-scale 0.05

echo "-- core tests under wine"
TORVANE_TEST_PORT=COM12 ctest --test-dir "${build}" --output-on-failure -j "${jobs}"

echo "-- torvane-cli.exe against the simulated drive"
run version --version
check "--version prints the project's version" \
  test "$(tr -d '\r' <version.out)" = "torvane-cli ${version}"

run ports ports
tr -d '\r' <ports.out >ports.txt
cut -f1 ports.txt >port-names.txt
check "ports lists COM12, which no device names, alone" grep -qx COM12 ports.txt
check "ports names COM13 after its device" grep -qxF "$(printf 'COM13\tUSB Serial Port')" ports.txt
check "ports: one COM<n> a line, in ascending order" \
  bash -c '! grep -qv "^COM[0-9]\+$" port-names.txt && sed "s/COM//" port-names.txt | sort -n -c'

run status --port COM12 status
check "status succeeds" rc status 0
tr -d '\r' <status.out >status.txt
check "status shows the drive" test "$(head -3 status.txt)" = \
  "$(printf 'Model: KVD417\nMotor State: Disable motor\nFault Code: no error')"
"${linux_cli}" --port "${ports}/com12" status >linux-status.txt
check "status says what the Linux tool says" \
  test "$(head -3 status.txt)" = "$(head -3 linux-status.txt)"

run nibble --port COM12 write 0300 01
check "an error reply fails the command" rc nibble 1
check "an error reply shows its text" contains nibble.err "Parameters are read-only"

# A read of the silent register holds the port while it waits out its 5000 ms.
( run silent --port COM12 read 2300 18; echo "${rc_silent}" >silent.rc ) &
waiter=$!
check "the silent read reaches the drive" wait_request driveA.trace "5A A5 04 01 23 00"
run second --port '\\.\COM12' status
check "a second open of the held port fails" rc second 3
check "a second open says why" contains second.err "in use"
wait "${waiter}"
check "a silent register fails the read" test "$(cat silent.rc)" = 1
check "a silent register shows Device no response" contains silent.err "Device no response"

# A speed step test records 512 points (8192 bytes), read back in 64 blocks.
run enable --port COM12 write 6000 02 01  # control word 0x0201
check "enable" rc enable 0
sleep 0.3  # the drive initialises (0.1 s at this time scale)
run start --port COM12 write 6000 06 01  # control word 0x0601
check "start a speed test" rc start 0
sleep 0.3  # the test runs (0.05 s at this time scale)
run capture --port COM12 capture 2505 capture-win.bin
check "capture succeeds" rc capture 0
check "capture reports 8192 bytes" contains capture.out "8192 bytes written to capture-win.bin"
check "the capture file holds 8192 bytes" test "$(stat -c %s capture-win.bin 2>/dev/null)" = 8192
"${linux_cli}" --port "${ports}/com12" capture 2505 capture-linux.bin >/dev/null
check "the capture matches the Linux tool's" cmp -s capture-win.bin capture-linux.bin

# Drive B answers nothing; it goes away while the tool waits for a reply.
start_drive driveB "${ports}/com13" --silent
( run lost --port COM13 read 2100 34; echo "${rc_lost}" >lost.rc; date +%s%N >lost.end ) &
waiter=$!
check "the read reaches the vanishing drive" wait_request driveB.trace "5A A5 04 01 21 00"
killed=$(date +%s%N)
kill "${pids[-1]}"
wait "${waiter}"
check "a lost port fails the read" test "$(cat lost.rc)" = 1
check "a lost port is reported" contains lost.err "Serial port lost"
check "a lost port ends the wait at once, not after 5000 ms" \
  test $(( ($(cat lost.end) - killed) / 1000000 )) -lt 3000

echo "${passed} passed, ${failed} failed"
[[ "${failed}" -eq 0 ]]
