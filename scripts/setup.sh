#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those that are missing)
# and configures and builds it. Sourced or run by run.sh and test.sh.
#
#   scripts/setup.sh [--asan]      install, configure and build
#
# Environment: TVX_BUILD_DIR (default: build), TVX_JOBS (default: nproc).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  nginx-light
  xvfb xauth
  tzdata time curl wget openssl
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    # A package counts as present only when dpkg reports it fully installed.
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo=(sudo); else
      echo "setup: these packages are missing and this user cannot install them: ${missing[*]}" >&2
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
}

build() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "${TVX_JOBS:-$(nproc)}"
}

install_missing
build "$top/${TVX_BUILD_DIR:-build}" -DTVX_WERROR=ON -DTVX_SANITIZE=OFF -DTVX_GUI=ON
if [ "${1:-}" = "--asan" ]; then
  build "$top/build-asan" -DTVX_WERROR=ON -DTVX_SANITIZE=ON -DTVX_GUI=ON
fi
