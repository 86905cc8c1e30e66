#!/usr/bin/env bash
# Serves the files the sample download list points to, from a private nginx
# on http://127.0.0.1:8080/, so the list can be tried without the Internet.
#
#   examples/serve-demo.sh          start (creates the files on first use)
#   examples/serve-demo.sh stop     stop it again
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${TVX_DEMO_DIR:-$top/build/demo-server}
port=${TVX_DEMO_PORT:-8080}

if [ "${1:-}" = stop ]; then
  [ -f "$work/nginx.pid" ] && kill -QUIT "$(cat "$work/nginx.pid")" 2>/dev/null && echo "demo server stopped"
  exit 0
fi

"$top/scripts/setup.sh" >/dev/null
www=$work/www
mkdir -p "$www/archives/old" "$www/docs" "$www/bin" "$work/logs"
make_file() { [ -s "$www/$1" ] || head -c "$2" /dev/urandom > "$www/$1"; }
make_file archives/tools-1.0.zip 2500000
make_file archives/tools-1.1.tar.gz 3200000
make_file archives/old/tools-0.9.zip 900000
make_file docs/manual.pdf 1500000
make_file bin/setup.exe 4000000
make_file bin/big.iso 200000000
[ -s "$www/docs/readme.txt" ] || printf 'Tarvex demo files.\nEverything here is random bytes.\n' > "$www/docs/readme.txt"
[ -s "$www/docs/changes.txt" ] || printf '1.1: more bytes\n1.0: first bytes\n' > "$www/docs/changes.txt"
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
user=""
[ "$(id -u)" -eq 0 ] && user="user root root;"
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
if [ -f "$work/nginx.pid" ] && kill -0 "$(cat "$work/nginx.pid")" 2>/dev/null; then
  echo "demo server already running on http://127.0.0.1:$port/"
  exit 0
fi
/usr/sbin/nginx -p "$work" -c "$work/nginx.conf"
echo "demo server running on http://127.0.0.1:$port/ (stop it with: $0 stop)"
