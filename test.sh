#!/usr/bin/env bash
# Installs what is missing, builds the project twice (a normal build and one
# with the address and undefined-behaviour sanitizers), runs every test, and
# runs each fuzz target for a bounded time (scripts/fuzz.sh, in build-fuzz/).
# Exits non-zero when anything fails. Needs no display.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/setup.sh" --asan
export QT_QPA_PLATFORM=offscreen
status=0
ctest --test-dir "$top/build" --output-on-failure -j 2 || status=1
# The 5 GiB tests run once, in the normal build: they go through the same code
# as the small transfers, and under the sanitizers they would only take minutes.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$top/tests/sanitizer/lsan.supp \
  ctest --test-dir "$top/build-asan" --output-on-failure -j 2 -E '^LargeFile\.' || status=1
"$top/scripts/fuzz.sh" || status=1
exit $status
