#!/usr/bin/env bash
# Runs the seeded chaos run (tests/chaos/chaos.cpp) with any number of
# scenarios: tvx-get and short tvx-session runs against a server that
# misbehaves, some of them killed, then one more run once the server behaves.
# Builds first (as run.sh does). Prints every failure with its seed, which
# replays it: scripts/chaos.sh 1 --seed <seed>.
#
#   scripts/chaos.sh [N] [--seed S] [--jobs J] [--keep]    (N defaults to 300)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scenarios=300
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  scenarios=$1
  shift
fi
"$top/scripts/setup.sh" >&2
build=$top/${TVX_BUILD_DIR:-build}
exec "$build/tests/tvx_chaos" --get "$build/cli/tvx-get" --session "$build/cli/tvx-session" \
  --scenarios "$scenarios" "$@"
