#!/usr/bin/env bash
# Times tvx-get against curl on the same 1 GiB file served by nginx on
# 127.0.0.1, and shows that tvx-get's memory stays flat in the file size.
#
#   bench/transfer-bench.sh [runs]      (default 3 runs of each, alternating)
#
# BENCH_MIB sets the large file's size in MiB (default 1024). Every timed
# run begins on a quiet disk (the folder emptied and synced first), so that
# no command pays for the writeback of the one before.
#
# Prints, from this one run of the script: the median wall time and peak
# memory of `tvx-get URL,FILE` and of `curl -o FILE URL`, their ratio, and
# tvx-get's peak memory for a 64 MiB file beside the 1 GiB one. tvx-get
# syncs a finished file to the disk before it calls it complete; curl does
# not, so `curl -o FILE URL && sync FILE` is timed as well.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
runs=${1:-3}
tvxget=$bench_top/build/cli/tvx-get
[ -x "$tvxget" ] || "$bench_top/scripts/setup.sh" >/dev/null

work=${BENCH_DIR:-/tmp/tvx-bench}
mkdir -p "$work/www" "$work/out"
trap 'stop_nginx' EXIT
size=$(( ${BENCH_MIB:-1024} << 20 ))
[ "$(stat -c %s "$work/www/big.bin" 2>/dev/null || echo 0)" = "$size" ] ||
  head -c "$size" /dev/urandom > "$work/www/big.bin"
[ -s "$work/www/mid.bin" ] || head -c 67108864 /dev/urandom > "$work/www/mid.bin"
start_nginx "$work/www" "$work"
url=http://127.0.0.1:$NGINX_PORT

tvx_times=() curl_times=() tvx_mem=() curl_mem=() ratios=() synced=()
for i in $(seq "$runs"); do
  rm -rf "$work/out"/* && sync
  measure a "$tvxget" "$url/big.bin,$work/out/tvx.bin"
  rm -rf "$work/out"/* && sync
  measure b curl -s -o "$work/out/curl.bin" "$url/big.bin"
  read -r at am ax <<<"$a"
  read -r bt bm bx <<<"$b"
  [ "$ax" = 0 ] && [ "$bx" = 0 ] || { echo "bench: a download failed (tvx-get $ax, curl $bx)" >&2; exit 1; }
  tvx_times+=("$at") curl_times+=("$bt") tvx_mem+=("$am") curl_mem+=("$bm")
  ratios+=("$(awk -v a="$at" -v b="$bt" 'BEGIN { printf "%.3f", a / b }')")
  rm -rf "$work/out"/* && sync
  measure c sh -c 'curl -s -o "$1" "$2" && sync "$1"' _ "$work/out/curl.bin" "$url/big.bin"
  read -r ct _ _ <<<"$c"
  synced+=("$ct")
  echo "run $i: tvx-get ${at}s ${am} KiB, curl ${bt}s ${bm} KiB, curl and sync ${ct}s"
done
rm -rf "$work/out"/*
measure m "$tvxget" "$url/mid.bin,$work/out/mid.bin"
read -r mt mm mx <<<"$m"
rm -rf "$work/out"/*

echo
echo "$(( size >> 20 )) MiB from nginx on 127.0.0.1, $runs runs each, medians:"
printf '  tvx-get  %8ss  peak %8s KiB\n' "$(printf '%s\n' "${tvx_times[@]}" | median)" "$(printf '%s\n' "${tvx_mem[@]}" | median)"
printf '  curl -o  %8ss  peak %8s KiB\n' "$(printf '%s\n' "${curl_times[@]}" | median)" "$(printf '%s\n' "${curl_mem[@]}" | median)"
printf '  curl -o, then sync  %8ss\n' "$(printf '%s\n' "${synced[@]}" | median)"
printf '  time ratio tvx-get/curl (median of the pairs): %s (target at most 1.15; tvx-get syncs)\n' "$(printf '%s\n' "${ratios[@]}" | median)"
printf '  tvx-get peak memory: %s KiB for 64 MiB, %s KiB for the large file\n' "$mm" "$(printf '%s\n' "${tvx_mem[@]}" | median)"
