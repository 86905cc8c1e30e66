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
  qt6-base-dev qt6-webengine-dev qt6-svg-dev
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libcurl4-openssl-dev libssl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  nginx-light squid
  xvfb xauth xdotool
  chromium chromium-driver python3 python3-selenium firefox-esr
  tzdata time curl wget openssl strace attr
  qt6-websockets-dev qt6-httpserver-dev nlohmann-json3-dev
)


build() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "${TVX_JOBS:-$(nproc)}"
}

"$top/scripts/install-packages.sh" setup "${packages[@]}"
# puppeteer-core drives Firefox in the end-to-end test of the browser
# extension, and the aria2 client the download service; without npm (or the
# registry) those tests say they are skipped.
if command -v npm >/dev/null && { [ ! -d "$top/tests/e2e/node_modules/puppeteer-core" ] ||
                                 [ ! -d "$top/tests/e2e/node_modules/aria2" ]; }; then
  npm ci --prefix "$top/tests/e2e" --no-audit --no-fund >/dev/null 2>&1 ||
    echo "setup: npm could not install puppeteer-core and aria2; their tests will be skipped" >&2
fi
build "$top/${TVX_BUILD_DIR:-build}" -DTVX_WERROR=ON -DTVX_SANITIZE=OFF -DTVX_GUI=ON
if [ "${1:-}" = "--asan" ]; then
  build "$top/build-asan" -DTVX_WERROR=ON -DTVX_SANITIZE=ON -DTVX_GUI=ON
fi
