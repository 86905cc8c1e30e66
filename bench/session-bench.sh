#!/usr/bin/env bash
# Times a check-and-download session of tvx-session against wget -N on the
# same list: 200 small files and 5 large ones served by nginx on 127.0.0.1.
#
#   bench/session-bench.sh
#
# Prints, from this one run of the script, the time and peak memory of both
# for the first session (everything new) and for a second one (everything up
# to date, so only the checks run), and the ratios.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
session=$bench_top/build/cli/tvx-session
[ -x "$session" ] && command -v wget >/dev/null || "$bench_top/scripts/setup.sh" >/dev/null

work=${BENCH_DIR:-/tmp/tvx-bench}/session
mkdir -p "$work/www/small" "$work/www/large"
trap 'stop_nginx' EXIT
for i in $(seq -w 1 200); do
  [ -s "$work/www/small/f$i.bin" ] || head -c $((20000 + 10#$i * 300)) /dev/urandom > "$work/www/small/f$i.bin"
done
for i in 1 2 3 4 5; do
  [ -s "$work/www/large/big$i.bin" ] || head -c $((100 * 1024 * 1024)) /dev/urandom > "$work/www/large/big$i.bin"
done
start_nginx "$work/www" "$work"
url=http://127.0.0.1:$NGINX_PORT


rm -rf "$work/tvx" "$work/wget"
mkdir -p "$work/tvx" "$work/wget"
{
  echo "$url/,dl,Benchmark list"
  echo "{small"
  for f in "$work"/www/small/*.bin; do echo "1,small/$(basename "$f"),$(basename "$f")"; done
  echo "}"
  echo "{large"
  for f in "$work"/www/large/*.bin; do echo "1,large/$(basename "$f"),$(basename "$f")"; done
  echo "}"
  echo "}"
  echo "//END"
} | sed 's/$/\r/' > "$work/tvx/tvx_downctrl.htm"
{
  for f in "$work"/www/small/*.bin; do echo "$url/small/$(basename "$f")"; done
  for f in "$work"/www/large/*.bin; do echo "$url/large/$(basename "$f")"; done
} > "$work/urls.txt"

measure t1 bash -c "cd '$work/tvx' && exec '$session' --all"
measure w1 wget -q -N -P "$work/wget" -i "$work/urls.txt"
measure t2 bash -c "cd '$work/tvx' && exec '$session' --all"
measure w2 wget -q -N -P "$work/wget" -i "$work/urls.txt"
read -r t1s t1m t1x <<<"$t1"; read -r w1s w1m w1x <<<"$w1"
read -r t2s t2m t2x <<<"$t2"; read -r w2s w2m w2x <<<"$w2"
[ "$t1x" = 0 ] && [ "$w1x" = 0 ] && [ "$t2x" = 0 ] && [ "$w2x" = 0 ] ||
  { echo "bench: a run failed (tvx $t1x/$t2x, wget $w1x/$w2x)" >&2; exit 1; }
ok=$(cd "$work" && for f in www/small/*.bin www/large/*.bin; do cmp -s "$f" "tvx/dl/${f#www/}" || echo "$f"; done)
[ -z "$ok" ] || { echo "bench: tvx-session files differ: $ok" >&2; exit 1; }

echo "200 small files (20-80 KB) and 5 of 100 MiB from nginx on 127.0.0.1, one run each:"
printf '  first session   tvx-session %7ss %7s KiB   wget -N %7ss %7s KiB   time ratio %s\n' \
  "$t1s" "$t1m" "$w1s" "$w1m" "$(awk -v a="$t1s" -v b="$w1s" 'BEGIN { printf "%.3f", a / b }')"
printf '  up to date      tvx-session %7ss %7s KiB   wget -N %7ss %7s KiB   time ratio %s\n' \
  "$t2s" "$t2m" "$w2s" "$w2m" "$(awk -v a="$t2s" -v b="$w2s" 'BEGIN { printf "%.3f", a / b }')"
