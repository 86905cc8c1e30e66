# Shared pieces of the benchmark scripts: a private nginx on a free loopback
# port, and timing of one command with GNU time.

bench_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# start_nginx ROOT WORKDIR [SERVER-CONFIG]: serves ROOT on 127.0.0.1, with
# the extra lines in its server block; sets NGINX_PORT. NGINX_LISTEN adds
# parameters to the listen line ("ssl http2").
start_nginx() {
  local root=$1 work=$2 extra=${3:-} port user=""
  mkdir -p "$work/nginx/logs"
  [ "$(id -u)" -eq 0 ] && user="user root root;"
  for port in $(shuf -i 20000-60000 -n 20); do
    cat > "$work/nginx/nginx.conf" <<CONF
$user
daemon on;
worker_processes 1;
error_log $work/nginx/logs/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
  access_log off; sendfile on; tcp_nopush on; default_type application/octet-stream;
  client_body_temp_path $work/nginx/cb; proxy_temp_path $work/nginx/pt;
  fastcgi_temp_path $work/nginx/ft; uwsgi_temp_path $work/nginx/ut; scgi_temp_path $work/nginx/st;
  server { listen 127.0.0.1:$port ${NGINX_LISTEN:-}; root $root; location / { } $extra }
}
CONF
    if /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>/dev/null; then
      NGINX_PORT=$port
      NGINX_PIDFILE=$work/nginx/nginx.pid
      return 0
    fi
  done
  echo "bench: nginx could not be started" >&2
  return 1
}

stop_nginx() {
  [ -n "${NGINX_PIDFILE:-}" ] && [ -f "$NGINX_PIDFILE" ] && kill -QUIT "$(cat "$NGINX_PIDFILE")" 2>/dev/null
  sleep 0.2
}

# measure OUTVAR COMMAND...: runs the command once under GNU time and sets
# OUTVAR to "seconds peak-kilobytes exit-status".
measure() {
  local var=$1; shift
  local report
  report=$(mktemp)
  /usr/bin/time -f '%e %M %x' -o "$report" "$@" >/dev/null 2>&1 || true
  printf -v "$var" '%s' "$(tail -n 1 "$report")"
  rm -f "$report"
}

# median of numbers on standard input
median() {
  sort -g | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# link_list FOLDER BASE FILE...: a download list in FOLDER with a link under
# BASE (to the local folder dl) for each file, and FOLDER/urls with their
# addresses.
link_list() {
  local dir=$1 base=$2 f
  shift 2
  mkdir -p "$dir"
  {
    echo "$base/,dl,Benchmark list"
    for f in "$@"; do echo "1,$(basename "$f"),$(basename "$f")"; done
    echo "}"
    echo "//END"
  } | sed 's/$/\r/' > "$dir/tvx_downctrl.htm"
  for f in "$@"; do echo "$base/$(basename "$f")"; done > "$dir/urls"
}
