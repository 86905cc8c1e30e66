#!/usr/bin/env bash
# Builds tvx (installing what is missing) and starts it in the current
# directory, which becomes its start directory: download.ini and the
# download list tvx_downctrl.htm are read from and written to it.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/setup.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<MSG
run.sh: tvx is built ($top/build/gui/tvx), but there is no display to show its
window on (DISPLAY and WAYLAND_DISPLAY are unset). Start it from a desktop
session, or under a virtual X server:
    xvfb-run -a -s '-screen 0 1280x1024x24' $top/build/gui/tvx
MSG
  exit 1
fi
exec "$top/build/gui/tvx" "$@"
