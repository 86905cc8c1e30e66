#!/usr/bin/env bash
# Serves the files the sample download list points to, from a private nginx
# on a loopback port, so the list can be tried without the Internet. It builds
# nothing and writes nothing into the checkout.
#
#   examples/serve-demo.sh          start (creates the files on first use)
#   examples/serve-demo.sh stop     stop it again
#
# Environment:
#   TVX_DEMO_PORT   first port to try (default 8080); when it is taken, the
#                   next free one of the following 20 is used
#   TVX_DEMO_DIR    the server's own folder: configuration, logs, pid file and
#                   "port", which holds the port in use
#                   (default ${XDG_RUNTIME_DIR:-/tmp}/tvx-demo-server-<uid>)
# The files served (about 210 MB of random bytes) are made once and kept in
# ${XDG_CACHE_HOME:-~/.cache}/tvx/demo-files.
set -euo pipefail
work=${TVX_DEMO_DIR:-${XDG_RUNTIME_DIR:-/tmp}/tvx-demo-server-$(id -u)}
first_port=${TVX_DEMO_PORT:-8080}
www=${XDG_CACHE_HOME:-$HOME/.cache}/tvx/demo-files

running() { [ -f "$work/nginx.pid" ] && kill -0 "$(cat "$work/nginx.pid")" 2>/dev/null; }

if [ "${1:-}" = stop ]; then
  if running; then
    pid=$(cat "$work/nginx.pid")
    kill -QUIT "$pid"
    # Wait for the master to go, so the port is free when this returns.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    echo "demo server stopped"
  fi
  exit 0
fi

nginx=$(command -v nginx || echo /usr/sbin/nginx)
if [ ! -x "$nginx" ]; then
  echo "serve-demo.sh: nginx is not installed; scripts/setup.sh installs it" >&2
  exit 1
fi

if running; then
  echo "demo server already running on http://127.0.0.1:$(cat "$work/port")/"
  exit 0
fi

# The files, each made once (an interrupted run leaves no short file behind:
# a file is written under another name and renamed when complete).
mkdir -p "$www/archives/old" "$www/docs" "$www/bin"
make_file() {
  [ -f "$www/$1" ] && [ "$(stat -c %s "$www/$1")" -eq "$2" ] && return 0
  head -c "$2" /dev/urandom > "$www/$1.part"
  mv "$www/$1.part" "$www/$1"
}
make_file archives/tools-1.0.zip 2500000
make_file archives/tools-1.1.tar.gz 3200000
make_file archives/old/tools-0.9.zip 900000
make_file docs/manual.pdf 1500000
make_file bin/setup.exe 4000000
make_file bin/big.iso 200000000
# The archives folder carries its SHA256SUMS, as release folders do: the
# downloads from it are proved by it.
(cd "$www/archives" && sha256sum tools-1.0.zip tools-1.1.tar.gz > SHA256SUMS.part &&
  mv SHA256SUMS.part SHA256SUMS)
printf 'Tarvex demo files.\nEverything here is random bytes.\n' > "$www/docs/readme.txt"
printf '1.1: more bytes\n1.0: first bytes\n' > "$www/docs/changes.txt"
cat > "$www/index.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Tarvex demo server</title></head>
<body style="font-family: sans-serif">
<h1>Tarvex demo server</h1>
<p>Files to try the download list and the browser with. Clicking an archive or
a program below opens the download dialog.</p>
<ul>
<li><a href="archives/tools-1.0.zip">archives/tools-1.0.zip</a></li>
<li><a href="archives/tools-1.1.tar.gz">archives/tools-1.1.tar.gz</a></li>
<li><a href="archives/old/tools-0.9.zip">archives/old/tools-0.9.zip</a></li>
<li><a href="bin/setup.exe">bin/setup.exe</a></li>
<li><a href="bin/big.iso">bin/big.iso</a> (200 MB)</li>
<li><a href="docs/manual.pdf">docs/manual.pdf</a></li>
<li><a href="docs/readme.txt">docs/readme.txt</a></li>
</ul>
</body></html>
HTML

mkdir -p "$work/logs"
user=""
[ "$(id -u)" -eq 0 ] && user="user root root;"
for port in $(seq "$first_port" $((first_port + 20))); do
  cat > "$work/nginx.conf" <<CONF
$user
daemon on;
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 64; }
http {
  access_log off; sendfile on;
  types { text/html html; text/plain txt; application/pdf pdf; application/zip zip; }
  default_type application/octet-stream;
  client_body_temp_path $work/cb; proxy_temp_path $work/pt;
  fastcgi_temp_path $work/ft; uwsgi_temp_path $work/ut; scgi_temp_path $work/st;
  server { listen 127.0.0.1:$port; root $www; location / { } }
}
CONF
  if error=$("$nginx" -p "$work" -e "$work/logs/error.log" -c "$work/nginx.conf" 2>&1); then
    echo "$port" > "$work/port"
    echo "demo server running on http://127.0.0.1:$port/ (stop it with: $0 stop)"
    exit 0
  fi
  case $error in
    *"Address already in use"*) continue ;;
  esac
  echo "serve-demo.sh: nginx did not start: $error" >&2
  exit 1
done
echo "serve-demo.sh: ports $first_port to $((first_port + 20)) are all taken" >&2
exit 1
