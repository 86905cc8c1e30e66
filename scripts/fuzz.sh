#!/usr/bin/env bash
# Builds tvxcore and the fuzz targets with clang, libFuzzer and the address
# and undefined-behaviour sanitizers in build-fuzz/, then runs every target
# for a bounded time from its committed corpus (tests/fuzz/corpus/<target>/).
# Exits non-zero when a target crashes, a sanitizer reports, a property breaks
# or a target has no corpus. The committed corpus is only read: inputs the run
# finds go to a scratch folder, a failing input to build-fuzz/artifacts/.
#
#   scripts/fuzz.sh [target...]     (default: every target)
#
# Environment: TVX_FUZZ_SECONDS (default 20), TVX_JOBS (default: nproc).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$top/build-fuzz
seconds=${TVX_FUZZ_SECONDS:-20}

cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTVX_FUZZ=ON -DTVX_WERROR=ON >/dev/null
cmake --build "$dir" -j "${TVX_JOBS:-$(nproc)}"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < "$dir/tests/fuzz/targets.txt"
fi

status=0
for target in "${targets[@]}"; do
  [ -n "$target" ] || continue
  corpus=$top/tests/fuzz/corpus/$target
  if [ ! -d "$corpus" ]; then
    echo "fuzz: $target has no corpus in $corpus" >&2
    status=1
    continue
  fi
  scratch=$(mktemp -d)
  artifacts=$dir/artifacts/$target
  log=$dir/fuzz-$target.log
  mkdir -p "$artifacts"
  echo "fuzz: $target for ${seconds}s" >&2
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     "$dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
       "$scratch" "$corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/fuzz: $target /" >&2 || true
  else
    echo "fuzz: $target FAILED; the log is $log, the input in $artifacts/" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
  rm -rf "$scratch"
done
exit $status
