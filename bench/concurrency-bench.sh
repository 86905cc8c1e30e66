#!/usr/bin/env bash
# Times keeping a list current when round trips dominate: 300 files of 4 KiB
# behind a server on 127.0.0.1 that answers each request after 20 ms
# (bench/delay-server.py), fetched by tvx-session with its defaults, by
# wget -N and by aria2c -j8, once with everything new and once with
# everything up to date.
#
#   bench/concurrency-bench.sh [tvx-session options...]
#
# Options given are passed to tvx-session (-j 1, say). BENCH_DELAY_MS and
# BENCH_FILES change the delay and the number of files. Prints, from this
# one run, a table of the times and tvx-session's ratios to aria2c.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
session=$bench_top/build/cli/tvx-session
[ -x "$session" ] || "$bench_top/scripts/setup.sh" >/dev/null
"$bench_top/scripts/install-packages.sh" bench wget aria2

delay=${BENCH_DELAY_MS:-20}
count=${BENCH_FILES:-300}
work=${BENCH_DIR:-/tmp/tvx-bench}/concurrency
rm -rf "$work"
mkdir -p "$work/www" "$work/tvx" "$work/wget" "$work/aria2"
for i in $(seq -w 1 "$count"); do head -c 4096 /dev/urandom > "$work/www/f$i.bin"; done

python3 "$(dirname "$0")/delay-server.py" "$work/www" "$delay" "$work/port" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$work/port")

{
  echo "$url/,dl,Benchmark list"
  for f in "$work"/www/*.bin; do echo "1,$(basename "$f"),$(basename "$f")"; done
  echo "}"
  echo "//END"
} | sed 's/$/\r/' > "$work/tvx/tvx_downctrl.htm"
for f in "$work"/www/*.bin; do echo "$url/$(basename "$f")"; done > "$work/urls"

tvx_cmd=$(printf '%q ' "$session" --all "$@")
urls=$work/urls
run_tvx=(bash -c "cd $work/tvx && $tvx_cmd")
run_wget=(bash -c "cd $work/wget && wget -q -N -i $urls")
run_aria2=(bash -c "cd $work/aria2 && aria2c -q -j8 --conditional-get=true --allow-overwrite=true -i $urls")

declare -A t
for round in first recheck; do
  for tool in tvx wget aria2; do
    declare -n cmd=run_$tool
    measure r "${cmd[@]}"
    read -r seconds _ status <<<"$r"
    [ "$status" = 0 ] || echo "bench: $tool ($round) exited with $status" >&2
    t[$tool.$round]=$seconds
  done
done
[ "$(ls "$work/tvx/dl" | wc -l)" = "$count" ] || echo "bench: tvx-session did not fetch every file" >&2

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
printf '%s files of 4 KiB, answers after %s ms; tvx-session --all %s\n' "$count" "$delay" "$*"
printf '| | first fetch | re-check, all unchanged |\n|---|---|---|\n'
printf '| tvx-session --all %s| %s s | %s s |\n' "${*:+$* }" "${t[tvx.first]}" "${t[tvx.recheck]}"
printf '| wget -N | %s s | %s s |\n' "${t[wget.first]}" "${t[wget.recheck]}"
printf '| aria2c -j8 | %s s | %s s |\n' "${t[aria2.first]}" "${t[aria2.recheck]}"
printf 'tvx-session / aria2c: first fetch %sx (target 1.5x), re-check %sx (target 1.0x)\n' \
  "$(ratio "${t[tvx.first]}" "${t[aria2.first]}")" "$(ratio "${t[tvx.recheck]}" "${t[aria2.recheck]}")"
