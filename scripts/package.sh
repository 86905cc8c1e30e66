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


"$top/scripts/install-packages.sh" package "${packages[@]}"
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
