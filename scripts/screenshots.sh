#!/usr/bin/env bash
# Takes the pictures in doc/screenshots/: the window with a small download
# list (one folder fully checked, one partly) and the session dialog open
# over it, at 100% and 200% scale, light and dark, in English and German.
# Runs the program under a virtual X server with openbox; needs no display.
#
#   scripts/screenshots.sh            (TVX=path/to/tvx to take another build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tvx=${TVX:-$top/build/gui/tvx}
[ -x "$tvx" ] || "$top/scripts/setup.sh"
"$top/scripts/install-packages.sh" screenshots xvfb x11-utils openbox xdotool imagemagick
out=$top/doc/screenshots
mkdir -p "$out"
work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# list DIR: a download list with two folders, one with all its files on disk
# (checked), one with some (partly checked), and a link of its own.
list() {
  mkdir -p "$1/downloads/tools" "$1/downloads/docs"
  printf '%s\r\n' "http://127.0.0.1:9/pub/,downloads,Tools from the mirror" \
    "{Tools" "5,tools/build-kit-2.4.tar.gz,Build kit 2.4 (sources)" \
    "6,tools/setup-2.4.exe,Setup program 2.4" "}" \
    "{Documents" "4,docs/manual.txt,Manual" "3,docs/guide.pdf,Guide (book)" "}" \
    "2,readme.txt,Read me first" "}" "//END" > "$1/tvx_downctrl.htm"
  echo kit > "$1/downloads/tools/build-kit-2.4.tar.gz"
  echo setup > "$1/downloads/tools/setup-2.4.exe"
  echo manual > "$1/downloads/docs/manual.txt"
}

for scale in 1 2; do
  Xvfb "$display" -screen 0 $((1280 * scale))x$((800 * scale))x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  DISPLAY=$display openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  for scheme in light dark; do
    for lang in en de; do
      name=tvx-${scale}00-$scheme-$lang
      dir=$work/$name
      list "$dir"
      case $lang in de) locale=de_DE.UTF-8 ;; *) locale=C.UTF-8 ;; esac
      (cd "$dir" && exec env -u QT_QPA_PLATFORM DISPLAY=$display HOME="$work/home" \
        LANG=$locale LC_ALL=$locale LANGUAGE= QT_SCALE_FACTOR=$scale TVX_COLOR_SCHEME=$scheme \
        QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu "$tvx" >"$dir/tvx.log" 2>&1) &
      app=$!
      DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --classname tvx >/dev/null
      sleep 5  # the start page
      # The session dialog, through the menu bar by keyboard: Alt, the last
      # menu (Tools), its first entry.
      DISPLAY=$display xdotool key alt; sleep 0.5
      DISPLAY=$display xdotool key Left Return; sleep 0.5
      DISPLAY=$display xdotool key Return; sleep 2
      for _ in 1 2 3; do
        DISPLAY=$display import -window root "$out/$name.png" 2>/dev/null && break
        sleep 1
      done
      kill "$app" 2>/dev/null || true
      wait "$app" 2>/dev/null || true
      echo "screenshots: $out/$name.png"
    done
  done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pids=()
  sleep 1
done
