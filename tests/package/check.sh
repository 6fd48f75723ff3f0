#!/usr/bin/env bash
# The Debian package, checked as a user meets it: built with the standard tools from a copy of
# the source, lintian, AppStream and desktop-entry clean, installed with apt, started on a
# private desktop, a setting changed, purged, and nothing of it left on disk. Needs root.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
fail() { echo "package check: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "package check skipped: installing a package needs root"; exit 0; }
! dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q installed ||
  fail "quorvel is installed already; purge it first"
version=$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)" = "$version-1" ] ||
  fail "debian/changelog is not at $version-1, the project's version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/quorvel-$version"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf -) | tar -xf - -C "$work/quorvel-$version"
echo "package check: building"
(cd "$work/quorvel-$version" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log"; exit 1; }
deb=$work/quorvel_$version-1_$(dpkg --print-architecture).deb
lintian --fail-on error,warning "$deb"
dpkg-deb -x "$deb" "$work/content"
appstreamcli validate --no-net "$work"/content/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$work/content/usr/share/applications/quorvel.desktop"
echo "package check: $(du -k "$deb" | cut -f1) KiB; $(dpkg-deb -f "$deb" Depends)"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >"$work/install.log"
files=$(dpkg -L quorvel)
QUORVEL_BINARY=/usr/bin/quorvel QUORVEL_INSTALLED=1 /usr/bin/python3 -W ignore \
  "$root/tests/e2e/test_x11.py" -v X11.test_settings_survive_a_restart
apt-get purge -y -q quorvel >>"$work/install.log"
# Nothing of the package left, nor a config.ini written beside the installed binary.
left=$(for f in $files /usr/bin/config.ini; do [ -d "$f" ] || [ ! -e "$f" ] || echo "$f"; done)
[ -z "$left" ] || fail "left after purging:" $left
