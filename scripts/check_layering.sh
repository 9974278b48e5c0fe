#!/usr/bin/env bash
# Fails when a file includes a folder above its own floor, or when core includes Qt.
# Floors, bottom up: serial; protocol; session, params, tuning and sim; ui; app and cli.
# Window files of params and tuning may include ui/. BUILD is a configured build folder (its
# core_sources.txt lists the files of torvane_core).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${root}/build}"
list="${build}/core_sources.txt"
[[ -f "${list}" ]] || { echo "no ${list}: configure ${build} first" >&2; exit 1; }
cd "${root}"
failed=0

# check FILES... -- PATTERN MESSAGE: every file whose includes match PATTERN is reported.
check() {
  local pattern="$1" message="$2"; shift 2
  local hits
  hits=$(grep -HnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"](${pattern})" "$@" 2>/dev/null || true)
  if [[ -n "${hits}" ]]; then
    echo "${message}:" >&2
    sed 's/^/  /' <<<"${hits}" >&2
    failed=1
  fi
}

mapfile -t lower < <(find src/protocol src/serial src/session src/sim src/params src/tuning \
                       -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)
mapfile -t bottom < <(find src/protocol src/serial src/session src/sim \
                        -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)
mapfile -t serial < <(find src/serial -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
mapfile -t ui < <(find src/ui -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
# Core: the files the build puts into torvane_core, with the headers beside them.
core=()
while read -r source; do
  [[ -z "${source}" ]] && continue
  core+=("${source}")
  header="${source%.cpp}.h"
  [[ "${header}" != "${source}" && -f "${header}" ]] && core+=("${header}")
done < "${list}"

check 'app/|cli/' "Below app/ and cli/, these include them" "${lower[@]}"
check 'protocol/|session/|sim/' "serial/ is the bottom floor; these include one above it" "${serial[@]}"
check 'ui/|params/|tuning/' "protocol, serial, session and sim include a floor above theirs" "${bottom[@]}"
check 'app/|cli/|params/|tuning/' "ui/ includes a floor above its own" "${ui[@]}"
check 'Q[A-Za-z]|qcustomplot' "Core includes Qt" "${core[@]}" "${bottom[@]}"
check 'ui/|app/|cli/' "Core includes a window folder" "${core[@]}"
exit "${failed}"
