#!/usr/bin/env bash
# Shows tvx at work: starts the demo server, copies the sample download list
# into a fresh folder outside the checkout (its addresses rewritten to the
# server's port), starts the program there and, when its window closes, stops
# the server and removes the folder again. Every demo starts from the same
# state, and the checkout is never written to.
#
# It expects the program to be built (run.sh --demo builds it first).
# TVX_DEMO_PROGRAM names another program to start instead of build/gui/tvx.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=${TVX_DEMO_PROGRAM:-$top/build/gui/tvx}

demo=$(mktemp -d "${TMPDIR:-/tmp}/tvx-demo.XXXXXX")
export TVX_DEMO_DIR=$demo/server
cleanup() {
  "$top/examples/serve-demo.sh" stop >/dev/null || true
  rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$TVX_DEMO_DIR" "$demo/list"
"$top/examples/serve-demo.sh" >/dev/null
port=$(cat "$TVX_DEMO_DIR/port")
sed "s#http://127\.0\.0\.1:8080/#http://127.0.0.1:$port/#g" \
  "$top/examples/tvx_downctrl.htm" > "$demo/list/tvx_downctrl.htm"
echo "demo: server on http://127.0.0.1:$port/, list in $demo/list;" \
  "both go when the window closes"
cd "$demo/list"
status=0
"$program" "$@" || status=$?
exit $status
