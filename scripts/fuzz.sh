#!/usr/bin/env bash
# Builds the frame fuzzer (clang, ASan + UBSan) in build-fuzz and runs it for FUZZ_SECONDS
# (default 30) on a copy of the seed corpus, so new inputs it finds stay out of the repository.
# Exits non-zero when the fuzzer finds a crash or an invariant breach (the reproducer is left in
# build-fuzz/fuzz-artifacts/).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build-fuzz"
seconds="${FUZZ_SECONDS:-30}"

if [[ ! -f "${build}/build.ninja" ]]; then
    CC=clang CXX=clang++ cmake -S "${root}" -B "${build}" -G Ninja \
        -DTORVANE_FUZZ=ON -DTORVANE_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
ninja -C "${build}" -j2 frame_fuzzer

corpus="${build}/fuzz-corpus"
artifacts="${build}/fuzz-artifacts"
mkdir -p "${corpus}" "${artifacts}"
cp -f "${root}"/tests/fuzz/corpus/* "${corpus}/"

# libFuzzer exits non-zero on a crash, a trap, a sanitizer report, a leak or a time-out.
"${build}/tests/fuzz/frame_fuzzer" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="${artifacts}/" "${corpus}"
