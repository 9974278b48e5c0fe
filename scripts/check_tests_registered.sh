#!/usr/bin/env bash
# Fails when a *_test.cpp under tests/ belongs to no test program: a test that no program
# builds never runs. BUILD is a configured build folder (its registered_tests.txt lists the
# sources that torvane_add_test registered).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${root}/build}"
list="${build}/registered_tests.txt"
[[ -f "${list}" ]] || { echo "no ${list}: configure ${build} first" >&2; exit 1; }

orphans=$(comm -23 <(find "${root}/tests" -name '*_test.cpp' | sort) <(sort "${list}"))
if [[ -n "${orphans}" ]]; then
  echo "These test sources belong to no test program (register them with torvane_add_test):" >&2
  sed "s#^${root}/#  #" <<<"${orphans}" >&2
  exit 1
fi
