#!/usr/bin/env bash
# Times keeping a list current when round trips dominate: 300 files of 4 KiB
# behind a server on 127.0.0.1 that answers each request after 20 ms
# (bench/delay-server.py), once with everything new and once with
# everything up to date.
#
# Over HTTP/1.1 (plain http, straight to the delaying server): tvx-session
# with its defaults, wget -N and aria2c -j8. Over HTTPS (nginx in front of
# the same server with a certificate of the benchmark's own, HTTP/2 where
# the client speaks it): tvx-session with its defaults (over HTTP/2 up to 32
# streams of one connection) and with -j 32, aria2c -j8 (HTTP/1.1, it
# has no HTTP/2) and curl --parallel --parallel-max 8 -z (HTTP/2).
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
"$bench_top/scripts/install-packages.sh" bench wget aria2 curl openssl nginx-light

delay=${BENCH_DELAY_MS:-20}
count=${BENCH_FILES:-300}
work=${BENCH_DIR:-/tmp/tvx-bench}/concurrency
rm -rf "$work"
mkdir -p "$work/www"
for i in $(seq -w 1 "$count"); do head -c 4096 /dev/urandom > "$work/www/f$i.bin"; done

python3 "$(dirname "$0")/delay-server.py" "$work/www" "$delay" "$work/port" &
server=$!
trap 'kill $server 2>/dev/null || true; stop_nginx' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
plain=http://127.0.0.1:$(cat "$work/port")

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
NGINX_LISTEN="ssl http2" start_nginx "$work/www" "$work" \
  "ssl_certificate $work/cert.pem; ssl_certificate_key $work/key.pem;
   location /d/ { proxy_pass $plain/; proxy_http_version 1.1; }"
secure=https://127.0.0.1:$NGINX_PORT/d
ca=$work/cert.pem

# list FOLDER BASE: a download list of every file under BASE in FOLDER, and
# FOLDER/urls with their addresses.
list() {
  link_list "$1" "$2" "$work"/www/*.bin
  # curl takes each file's own date for -z from a config of its own, where
  # every file's options are its own.
  local first=1
  for f in "$work"/www/*.bin; do
    [ $first = 1 ] || echo next
    first=0
    printf 'url = "%s/%s"\noutput = "%s"\ntime-cond = "%s"\nremote-time\ncacert = "%s"\n' \
      "$2" "$(basename "$f")" "$(basename "$f")" "$(basename "$f")" "$ca"
  done > "$1/curl.conf"
}

tvx_opts=
[ $# -eq 0 ] || tvx_opts=$(printf '%q ' "$@")
tools=()
add() { # add NAME FOLDER BASE COMMAND: a tool run in FOLDER over BASE
  local name=$1 dir=$work/$2
  list "$dir" "$3"
  tools+=("$name")
  declare -g "run_$name=cd $dir && $4"
}
add tvx tvx "$plain" "$session --all $tvx_opts"
add wget wget "$plain" "wget -q -N -i urls"
add aria2 aria2 "$plain" "aria2c -q -j8 --conditional-get=true --allow-overwrite=true -i urls"
add tvx_s tvx-s "$secure" "$session --all --cacert $ca $tvx_opts"
add tvx_s32 tvx-s32 "$secure" "$session --all --cacert $ca -j 32 $tvx_opts"
add aria2_s aria2-s "$secure" \
  "aria2c -q -j8 --ca-certificate=$ca --conditional-get=true --allow-overwrite=true -i urls"
add curl_s curl-s "$secure" "curl -s --parallel --parallel-max 8 -K curl.conf"

declare -A t
for round in first recheck; do
  for tool in "${tools[@]}"; do
    declare -n cmd=run_$tool
    measure r bash -c "$cmd"
    read -r seconds _ status <<<"$r"
    [ "$status" = 0 ] || echo "bench: $tool ($round) exited with $status" >&2
    t[$tool.$round]=$seconds
  done
done
for dir in tvx tvx-s tvx-s32; do
  [ "$(ls "$work/$dir/dl" | wc -l)" = "$count" ] || echo "bench: tvx-session in $dir did not fetch every file" >&2
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '| %s | %s s | %s s |\n' "$1" "${t[$2.first]}" "${t[$2.recheck]}"; }
printf '%s files of 4 KiB, answers after %s ms; tvx-session options: %s\n' "$count" "$delay" "${*:-none}"
printf '| | first fetch | re-check, all unchanged |\n|---|---|---|\n'
row "HTTP/1.1: tvx-session --all" tvx
row "HTTP/1.1: wget -N" wget
row "HTTP/1.1: aria2c -j8" aria2
row "HTTPS, HTTP/2: tvx-session --all" tvx_s
row "HTTPS, HTTP/2: tvx-session --all -j 32" tvx_s32
row "HTTPS, HTTP/1.1: aria2c -j8" aria2_s
row "HTTPS, HTTP/2: curl --parallel-max 8 -z" curl_s
printf 'HTTP/1.1, tvx-session / aria2c: first fetch %sx (target 1.0x), re-check %sx\n' \
  "$(ratio "${t[tvx.first]}" "${t[aria2.first]}")" "$(ratio "${t[tvx.recheck]}" "${t[aria2.recheck]}")"
printf 'HTTPS, tvx-session over HTTP/2 / aria2c: first fetch %sx, re-check %sx (target 0.5x)\n' \
  "$(ratio "${t[tvx_s.first]}" "${t[aria2_s.first]}")" "$(ratio "${t[tvx_s.recheck]}" "${t[aria2_s.recheck]}")"
printf 'HTTPS, tvx-session -j 32 over HTTP/2 / aria2c: first fetch %sx, re-check %sx\n' \
  "$(ratio "${t[tvx_s32.first]}" "${t[aria2_s.first]}")" "$(ratio "${t[tvx_s32.recheck]}" "${t[aria2_s.recheck]}")"
