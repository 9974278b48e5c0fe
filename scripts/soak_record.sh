#!/usr/bin/env bash
# Soak of live recording: torvane-cli records the live values of the paced simulated drive for
# SECONDS (default 3600, one hour) and the script reports the samples kept against those
# expected (one every 50 ms; goal at least 99.9 %), the CPU the command-line tool used (goal
# under 2 % of one core), the failed reads, and whether every row is whole and the time column
# rises. Exits 1 when a goal is missed or the file is not sound.
#
# Usage: scripts/soak_record.sh [SECONDS] [BUILD]   (BUILD: a built folder, default build)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-3600}"
build="$(cd "${2:-${root}/build}" && pwd)"
sim="${build}/src/sim/torvane-sim"
cli="${build}/src/cli/torvane-cli"
for tool in "${sim}" "${cli}"; do
  [[ -x "${tool}" ]] || { echo "soak_record: ${tool} is missing: build it first" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/torvane-soak.XXXXXX")"
# The tool writes no backup here, but keep its data folder out of the home folder all the same.
export XDG_DATA_HOME="${work}/data"
"${sim}" --link "${work}/drive" >"${work}/sim.out" 2>&1 &
sim_pid=$!
trap 'kill "${sim_pid}" 2>/dev/null || true; wait "${sim_pid}" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -e "${work}/drive" ]] && break; sleep 0.1; done

csv="${work}/live.csv"
TIMEFORMAT='%U %S %R'
{ time "${cli}" --port "${work}/drive" record "${csv}" --seconds "${seconds}" \
    >"${work}/cli.out" 2>"${work}/cli.err"; } 2>"${work}/time.txt"
read -r user sys real <"${work}/time.txt"

awk -F, -v seconds="${seconds}" -v user="${user}" -v sys="${sys}" -v real="${real}" \
    -v summary="$(cat "${work}/cli.out")" '
  /^#/ { next }
  !header { header = 1; next }
  {
    rows++
    if (NF != 10) torn++
    if (rows > 1 && $1 + 0 < last) backwards++
    last = $1 + 0
  }
  END {
    expected = seconds * 1000 / 50
    kept = 100 * rows / expected
    cpu = 100 * (user + sys) / real
    printf "recorded %s s: %d samples of %d expected (%.3f %% kept; goal >= 99.9 %%)\n",
           seconds, rows, expected, kept
    printf "torvane-cli CPU: %.2f s user + %.2f s system in %.1f s = %.3f %% of one core " \
           "(goal < 2 %%)\n", user, sys, real, cpu
    printf "rows not whole: %d; time going back: %d\n", torn, backwards
    printf "torvane-cli: %s\n", summary
    exit (kept >= 99.9 && cpu < 2 && torn == 0 && backwards == 0) ? 0 : 1
  }' "${csv}"
