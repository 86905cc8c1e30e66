#!/usr/bin/env bash
# What a re-check of an unchanged list costs the server: 300 files of 64 KiB
# behind nginx on 127.0.0.1, fetched once and then checked again, by
# tvx-session (its defaults), wget -N and aria2c --conditional-get -j8. For
# the re-check it prints each tool's time, the requests nginx answered, how
# many of them were 304, and the body bytes nginx sent (from its access log).
# "tvx, no attributes" re-checks once more after the files' remembered
# versions are removed (setfattr -x), as on a file system without them and
# as tvx checked before it remembered them.
#
#   bench/recheck-bench.sh [tvx-session options...]
#
# BENCH_FILES and BENCH_SIZE change the number and the size of the files.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
session=$bench_top/build/cli/tvx-session
[ -x "$session" ] || "$bench_top/scripts/setup.sh" >/dev/null
"$bench_top/scripts/install-packages.sh" bench wget aria2 nginx-light attr

count=${BENCH_FILES:-300}
size=${BENCH_SIZE:-65536}
work=${BENCH_DIR:-/tmp/tvx-bench}/recheck
rm -rf "$work"
mkdir -p "$work/www"
for i in $(seq -w 1 "$count"); do head -c "$size" /dev/urandom > "$work/www/f$i.bin"; done
log=$work/access.log
start_nginx "$work/www" "$work" "access_log $log;"
trap stop_nginx EXIT
base=http://127.0.0.1:$NGINX_PORT

for tool in tvx wget aria2; do link_list "$work/$tool" "$base" "$work"/www/*.bin; done
declare -A cmd=(
  [tvx]="$session --all $*"
  [tvx_noattr]="$session --all $*"
  [wget]="wget -q -N -i urls"
  [aria2]="aria2c -q -j8 --conditional-get=true --allow-overwrite=true -i urls"
)

printf '%s files of %s bytes, re-check of the unchanged list; tvx-session options: %s\n' \
  "$count" "$size" "${*:-none}"
printf '| | re-check | requests | of them 304 | body bytes sent |\n|---|---|---|---|---|\n'
for tool in tvx tvx_noattr wget aria2; do
  if [ "$tool" = tvx_noattr ]; then
    cp -a "$work/tvx" "$work/$tool"
    for f in "$work/$tool"/dl/*; do
      setfattr -x user.tvx.etag "$f"
      setfattr -x user.tvx.last-modified "$f"
    done
  else
    (cd "$work/$tool" && bash -c "${cmd[$tool]}") >/dev/null 2>&1 || true
  fi
  before=$(wc -l < "$log")
  measure r bash -c "cd $work/$tool && ${cmd[$tool]}"
  read -r seconds _ status <<<"$r"
  [ "$status" = 0 ] || echo "bench: $tool exited with $status" >&2
  # combined format: ... "GET /f.bin HTTP/1.1" STATUS BYTES ...
  tail -n +"$((before + 1))" "$log" | awk -v name="$tool" -v s="$seconds" \
    '{ n++; if ($9 == 304) m++; b += $10 }
     END { printf "| %s | %s s | %d | %d | %d |\n", name, s, n, m, b }'
done
