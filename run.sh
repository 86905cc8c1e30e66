#!/usr/bin/env bash
# Builds tvx (installing what is missing) and starts it.
#
#   ./run.sh --demo    the demo: the sample download list with its own local
#                      server, in a fresh folder outside the checkout
#                      (examples/demo.sh); started in the checkout's examples
#                      folder, run.sh starts the demo as well
#   run.sh             tvx in the current directory, which becomes its start
#                      directory: download.ini and the download list
#                      tvx_downctrl.htm are read from and written to it
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
demo=0
if [ "${1:-}" = --demo ]; then
  demo=1
  shift
elif [ "$PWD" -ef "$top/examples" ]; then
  demo=1
fi
"$top/scripts/setup.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if [ $demo -eq 1 ]; then
    how="$top/run.sh --demo"
  else
    how="$top/build/gui/tvx"
  fi
  cat >&2 <<MSG
run.sh: tvx is built ($top/build/gui/tvx), but there is no display to show its
window on (DISPLAY and WAYLAND_DISPLAY are unset). Start it from a desktop
session, or under a virtual X server:
    xvfb-run -a -s '-screen 0 1280x1024x24' $how
MSG
  exit 1
fi
if [ $demo -eq 1 ]; then
  exec "$top/examples/demo.sh" "$@"
fi
exec "$top/build/gui/tvx" "$@"
