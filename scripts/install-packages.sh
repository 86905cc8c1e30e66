#!/usr/bin/env bash
# Installs those of the named Debian packages that are not fully installed,
# with sudo when not run as root. Used by setup.sh and package.sh.
#
#   scripts/install-packages.sh WHO PACKAGE...    (WHO prefixes the messages)
set -euo pipefail
who=$1
shift
missing=()
for p in "$@"; do
  # A package counts as present only when dpkg reports it fully installed.
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "$who: installing ${missing[*]}" >&2
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then sudo=(sudo); else
    echo "$who: these packages are missing and this user cannot install them: ${missing[*]}" >&2
    exit 1
  fi
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
# The nginx package starts a system-wide server on port 80; the project only
# runs its own instances on loopback ports, so the system one is not needed.
if printf '%s\n' "${missing[@]}" | grep -q '^nginx'; then
  "${sudo[@]}" sh -c 'command -v service >/dev/null && service nginx stop' >/dev/null 2>&1 || true
fi
# The same for squid, which starts a system-wide proxy on port 3128.
if printf '%s\n' "${missing[@]}" | grep -q '^squid$'; then
  "${sudo[@]}" sh -c 'command -v service >/dev/null && service squid stop' >/dev/null 2>&1 || true
fi
