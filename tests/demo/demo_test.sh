#!/usr/bin/env bash
# The demo command end to end, with a stand-in for the window: the demo finds
# the sample port taken and moves to another one, the stand-in runs in a fresh
# copy of the list outside the checkout whose addresses point at the running
# server, the first sample link downloads completely, and when the stand-in
# ends the server is stopped and the copy removed.
#
#   demo_test.sh <source folder> <tvx-get> <cache folder>
set -euo pipefail
top=$1
tvx_get=$2
export XDG_CACHE_HOME=$3  # the served files are made once per build folder
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tvx-demo-test.XXXXXX")
export TMPDIR=$scratch
blocker=$scratch/blocker
cleanup() {
  TVX_DEMO_DIR=$blocker "$top/examples/serve-demo.sh" stop >/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Another demo server holds the port the list names.
taken=$((20000 + RANDOM % 20000))
mkdir -p "$blocker"
TVX_DEMO_DIR=$blocker TVX_DEMO_PORT=$taken "$top/examples/serve-demo.sh" >/dev/null
taken=$(cat "$blocker/port")

cat > "$scratch/stand-in.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
pwd > "$REPORT.dir"
header=$(head -n 1 tvx_downctrl.htm | tr -d '\r')
echo "$header" > "$REPORT.header"
base=${header%%,*}
"$TVX_GET" "${base}archives/tools-1.0.zip,archives/tools-1.0.zip" > "$REPORT.get" 2>&1
stat -c %s archives/tools-1.0.zip > "$REPORT.size"
SH
chmod +x "$scratch/stand-in.sh"

report=$scratch/report
REPORT=$report TVX_GET=$tvx_get TVX_DEMO_PORT=$taken TVX_DEMO_PROGRAM=$scratch/stand-in.sh \
  "$top/examples/demo.sh" > "$scratch/demo.out" 2>&1 || { cat "$scratch/demo.out"; fail "demo failed"; }

dir=$(cat "$report.dir")
case $dir in
  "$scratch"/tvx-demo.*) ;;
  *) fail "the list copy is in $dir, not in a fresh temporary folder" ;;
esac
[ ! -e "$dir" ] || fail "the demo folder $dir is left behind"
header=$(cat "$report.header")
port=${header#http://127.0.0.1:}
port=${port%%/*}
[ "$header" = "http://127.0.0.1:$port/,.,Tarvex demo list" ] || fail "header: $header"
[ "$port" != "$taken" ] || fail "the copy still points at the taken port $taken"
[ "$(cat "$report.size")" = 2500000 ] || { cat "$report.get"; fail "first link not downloaded"; }
# The server is gone with the window; the other one still runs.
if curl -s -o /dev/null "http://127.0.0.1:$port/"; then fail "demo server still running"; fi
curl -s -f -o /dev/null "http://127.0.0.1:$taken/" || fail "the other server was stopped"
# The checkout's sample is untouched.
grep -q '^http://127.0.0.1:8080/,' "$top/examples/tvx_downctrl.htm" || fail "sample list changed"
echo "demo test passed (port $taken taken, demo on $port)"
