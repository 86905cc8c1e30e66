#!/usr/bin/env bash
# Builds the Debian package dist/tvx_<version>_<arch>.deb and checks it
# (scripts/check-package.sh). The package is made by CPack's DEB generator
# from the normal build tree build/, which scripts/setup.sh builds first (or
# finds built already); dpkg-shlibdeps computes its library dependencies.
# Installs the packaging tools that are missing (they are not needed for the
# everyday build and test run).
#
#   scripts/package.sh             build and check the package
#   scripts/package.sh --install   also install it with apt, check it and
#                                  remove it again (see check-package.sh)
#
# Environment: TVX_BUILD_DIR (default: build), TVX_JOBS (default: nproc).
set -euo pipefail
case "${1:-}" in
  "" | --install) ;;
  *)
    echo "usage: scripts/package.sh [--install]" >&2
    exit 2
    ;;
esac

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/${TVX_BUILD_DIR:-build}

packages=(
  dpkg-dev file
  scdoc librsvg2-bin
  lintian desktop-file-utils appstream man-db
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
  echo "package: installing ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo=(sudo); else
      echo "package: these packages are missing and this user cannot install them: ${missing[*]}" >&2
      exit 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
}

install_missing
"$top/scripts/setup.sh"

# Man pages carry the date of the last commit, so that building the same
# commit again gives the same files.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$top" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
cmake -S "$top" -B "$build" -DTVX_PACKAGE=ON >/dev/null
cmake --build "$build" -j "${TVX_JOBS:-$(nproc)}"

rm -rf "$build/cpack"
(cd "$build" && cpack --config CPackConfig.cmake -B "$build/cpack" >/dev/null)
mkdir -p "$top/dist"
rm -f "$top"/dist/tvx_*.deb
mv "$build"/cpack/tvx_*.deb "$top/dist/"
deb=$(ls "$top"/dist/tvx_*.deb)
"$top/scripts/check-package.sh" "$@" "$deb"
echo "package: $deb"
