#!/usr/bin/env bash
# Checks a built package: its file list against packaging/package-files.txt,
# its control fields, lintian (no errors), the desktop entry, the AppStream
# metadata, the man pages, the bash completion, and the programs' --version.
# With --install it also installs the package with apt, checks the installed
# programs, man page, desktop entry and metadata, purges it again and checks
# that nothing of it is left (skipped when tvx is installed already, so that
# an installation of the machine's user is never removed). Exits non-zero on
# the first failed check.
#
#   scripts/check-package.sh [--install] dist/tvx_<version>_<arch>.deb
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install=0
if [ "${1:-}" = "--install" ]; then
  install=1
  shift
fi
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-package: $*" >&2
  exit 1
}

# The files and links of the package, exactly those listed (directories
# aside); every one owned by root and world-readable.
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' "$work/contents" | LC_ALL=C sort >"$work/files"
if ! diff -u "$top/packaging/package-files.txt" "$work/files"; then
  fail "the package's files differ from packaging/package-files.txt (- expected, + packaged)"
fi
if awk '$2 != "root/root" || $1 !~ /^.r..r..r/ { bad = 1; print } END { exit !bad }' \
  "$work/contents"; then
  fail "files not owned by root or not readable by all"
fi

dpkg-deb -x "$deb" "$work/root"
root=$work/root

# Control fields: the version is the one the programs report, and the
# library dependencies were computed.
version=$(dpkg-deb -f "$deb" Version)
reported=$("$root/usr/bin/tvx-get" --version)
[ "$reported" = "tvx-get (Tarvex Download Service) $version" ] ||
  fail "package version $version, but tvx-get --version says: $reported"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6webenginewidgets6 libcurl4 libc6 qt6-qpa-plugins libqt6svg6 \
              libqt6httpserver6 libqt6websockets6; do
  grep -q "\\b$needed\\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -q "\\bqt6-translations-l10n\\b" <<<"$recommends" ||
  fail "Recommends lacks qt6-translations-l10n: $recommends"
for program in tvx tvx-session tvx-browser-host; do
  "$root/usr/bin/$program" --version | grep -qx "$program (Tarvex Download Service) $version" ||
    fail "$program --version does not report $version"
done

# Both browsers find the host by its manifests, which must name where it lies.
for manifest in usr/lib/mozilla/native-messaging-hosts etc/chromium/native-messaging-hosts; do
  grep -q '"path": "/usr/bin/tvx-browser-host"' "$root/$manifest/de.tarvex.tvx.json" ||
    fail "$manifest/de.tarvex.tvx.json does not name /usr/bin/tvx-browser-host"
done

desktop-file-validate "$root/usr/share/applications/tvx.desktop" ||
  fail "desktop-file-validate rejects the desktop entry"
# --no-net: the screenshot and home page addresses are not fetched.
appstreamcli validate --no-net "$root/usr/share/metainfo/de.tarvex.tvx.metainfo.xml" >"$work/as" ||
  { cat "$work/as" >&2; fail "appstreamcli rejects the metadata"; }
# Each screenshot it names is one of the source's own.
for shot in $(grep -o 'doc/screenshots/[^<]*\.png' "$root/usr/share/metainfo/de.tarvex.tvx.metainfo.xml"); do
  [ -s "$top/$shot" ] || fail "the metadata names $shot, which is not in the source"
done

# Man pages: formatted without a warning, and each names every option of
# its program's --help.
for page in tvx tvx-get tvx-session; do
  file=$root/usr/share/man/man1/$page.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$page(1): $warnings"
  text=$(LC_ALL=C.UTF-8 MANROFFOPT=-rHY=0 MANWIDTH=200 man -l "$file" 2>/dev/null)
  for option in $("$root/usr/bin/$page" --help | grep -oE '(^|[ ,])--?[a-zA-Z][a-zA-Z-]*' | tr -d ' ,' | sort -u); do
    grep -qe "$option" <<<"$text" || fail "$page(1) does not mention $option"
  done
  for section in 'EXIT STATUS' FILES EXAMPLES; do
    grep -q "^$section" <<<"$text" || fail "$page(1) has no $section section"
  done
  files=(CTL_ download.ini)
  [ "$page" = tvx-get ] || files+=(tvx_downctrl.htm download.tmp)
  for name in "${files[@]}"; do
    grep -q "^       $name" <<<"$text" || fail "$page(1) does not describe the file $name"
  done
done

# Bash completion: each script offers its command's options.
for command in tvx-get tvx-session; do
  script=$root/usr/share/bash-completion/completions/$command
  offered=$(bash -c '
    source "$1"
    COMP_WORDS=("$2" --); COMP_CWORD=1
    $(complete -p "$2" | sed -E "s/.* -F ([^ ]+) .*/\1/")
    printf "%s\n" "${COMPREPLY[@]}"' _ "$script" "$command")
  for option in --help --version --max-time --limit-rate --paced --cacert; do
    grep -qx -- "$option" <<<"$offered" || fail "the completion of $command does not offer $option"
  done
done

# lintian: no errors (warnings are shown, not counted).
lintian --fail-on error --tag-display-limit 0 "$deb" ||
  fail "lintian reports errors"

if [ $install = 1 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  if dpkg-query -W -f='${Status}' tvx 2>/dev/null | grep -q 'install ok installed'; then
    echo "check-package: tvx is installed on this machine already; install check skipped" >&2
  else
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt" 2>&1 ||
      { cat "$work/apt" >&2; fail "apt cannot install the package"; }
    installed_ok=1
    [ "$(PATH=/usr/bin:/bin tvx-get --version)" = "tvx-get (Tarvex Download Service) $version" ] ||
      installed_ok=0
    man -w tvx-session >/dev/null || installed_ok=0
    desktop-file-validate /usr/share/applications/tvx.desktop || installed_ok=0
    appstreamcli validate --no-net /usr/share/metainfo/de.tarvex.tvx.metainfo.xml >/dev/null ||
      installed_ok=0
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tvx >"$work/apt" 2>&1 ||
      { cat "$work/apt" >&2; fail "apt cannot purge the package"; }
    [ $installed_ok = 1 ] || fail "the installed package does not work (see above)"
    while read -r file; do
      [ ! -e "$file" ] || fail "apt purge left $file behind"
    done <"$top/packaging/package-files.txt"
    [ ! -e /usr/share/doc/tvx ] || fail "apt purge left /usr/share/doc/tvx behind"
    if dpkg-query -W -f='${Status}' tvx 2>/dev/null | grep -q 'installed\|config-files'; then
      fail "dpkg still knows tvx after apt purge"
    fi
    echo "check-package: installed with apt, checked, purged again without a trace"
  fi
fi
echo "check-package: $(basename "$deb") passes ($(wc -l <"$work/files") files)"
