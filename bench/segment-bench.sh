#!/usr/bin/env bash
# Large files from a server that shapes every connection, as mirrors and CDNs
# do (nginx limit_rate 4m: 4 MiB/s per connection), one run of each:
#
#   bench/segment-bench.sh
#
#   - a 128 MiB file: tvx-get -x 8 against aria2c -x8 -s8 -k1M and curl, and
#     tvx-get with its defaults (up to 8, found while the file arrives)
#     against aria2c -x8 -s8 and curl;
#   - a session of 8 files of 32 MiB: tvx-session --all against
#     aria2c -j8 -x4 -s4.
#
# Prints wall time and peak memory of each and the ratios the targets name,
# and checks that every file arrived whole. Needs about 1 GB in $BENCH_DIR
# (default /tmp/tvx-segment-bench); installs aria2 when it is missing.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
tvxget=$bench_top/build/cli/tvx-get
tvxsession=$bench_top/build/cli/tvx-session
[ -x "$tvxget" ] && [ -x "$tvxsession" ] || "$bench_top/scripts/setup.sh" >/dev/null
"$bench_top/scripts/install-packages.sh" bench aria2 curl time

work=${BENCH_DIR:-/tmp/tvx-segment-bench}
mkdir -p "$work/www" "$work/out"
trap 'stop_nginx' EXIT
[ -s "$work/www/big.bin" ] || head -c $((128 << 20)) /dev/urandom > "$work/www/big.bin"
for i in 1 2 3 4 5 6 7 8; do
  [ -s "$work/www/s$i.bin" ] || head -c $((32 << 20)) /dev/urandom > "$work/www/s$i.bin"
done
start_nginx "$work/www" "$work" "limit_rate 4m;"
url=http://127.0.0.1:$NGINX_PORT

# run NAME COMMAND...: times the command in a fresh out folder.
declare -A secs mem
run() {
  local name=$1 r status
  shift
  rm -rf "$work/out" && mkdir -p "$work/out"
  measure r bash -c 'cd "$0" && exec "$@"' "$work/out" "$@"
  read -r secs[$name] mem[$name] status <<<"$r"
  [ "$status" = 0 ] || { echo "bench: $name failed ($status)" >&2; exit 1; }
}
same() { cmp -s "$1" "$2" || { echo "bench: $1 differs from its source" >&2; exit 1; }; }

run tvx8 "$tvxget" -x 8 "$url/big.bin,big.bin"; same "$work/out/big.bin" "$work/www/big.bin"
run aria2 aria2c -q -x8 -s8 -k1M -o big.bin "$url/big.bin"; same "$work/out/big.bin" "$work/www/big.bin"
run curl curl -s -o big.bin "$url/big.bin"; same "$work/out/big.bin" "$work/www/big.bin"
run tvx "$tvxget" "$url/big.bin,big.bin"; same "$work/out/big.bin" "$work/www/big.bin"

list=$work/list.htm
{ printf '%s/,dl,Segment bench\r\n' "$url"
  for i in 1 2 3 4 5 6 7 8; do printf '1,s%d.bin,S%d\r\n' "$i" "$i"; done
  printf '//END\r\n'; } > "$list"
urls=$work/urls.txt
for i in 1 2 3 4 5 6 7 8; do echo "$url/s$i.bin"; done > "$urls"
run session bash -c "cp '$list' tvx_downctrl.htm && exec '$tvxsession' --all"
for i in 1 2 3 4 5 6 7 8; do same "$work/out/dl/s$i.bin" "$work/www/s$i.bin"; done
run aria2s aria2c -q -j8 -x4 -s4 -i "$urls"
for i in 1 2 3 4 5 6 7 8; do same "$work/out/s$i.bin" "$work/www/s$i.bin"; done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "nginx limit_rate 4m on 127.0.0.1, one run each:"
printf '  %-34s %8s s  peak %7s KiB\n' \
  "tvx-get -x 8 (128 MiB)" "${secs[tvx8]}" "${mem[tvx8]}" \
  "aria2c -x8 -s8 -k1M (128 MiB)" "${secs[aria2]}" "${mem[aria2]}" \
  "curl (128 MiB)" "${secs[curl]}" "${mem[curl]}" \
  "tvx-get, defaults (128 MiB)" "${secs[tvx]}" "${mem[tvx]}" \
  "tvx-session --all (8 x 32 MiB)" "${secs[session]}" "${mem[session]}" \
  "aria2c -j8 -x4 -s4 (8 x 32 MiB)" "${secs[aria2s]}" "${mem[aria2s]}"
echo "  tvx-get -x 8 / aria2c:       $(ratio "${secs[tvx8]}" "${secs[aria2]}")   (target at most 1.0)"
echo "  tvx-get defaults / aria2c:   $(ratio "${secs[tvx]}" "${secs[aria2]}")   (target at most 1.1)"
echo "  curl / tvx-get defaults:     $(ratio "${secs[curl]}" "${secs[tvx]}")   (target at least 3)"
echo "  tvx-session / aria2c -j8:    $(ratio "${secs[session]}" "${secs[aria2s]}")   (target at most 1.0)"
