#!/usr/bin/env bash
# Builds the Debian package from an existing build folder, unpacks it into a throwaway root
# and runs what it installed. Usage: scripts/package-test.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/mdbcheck_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):'
dpkg-deb -x "$deb" "$root"
for f in usr/bin/mdbcheck usr/bin/mdbcheck-cli usr/share/applications/mdbcheck.desktop \
         usr/share/icons/hicolor/32x32/apps/mdbcheck.png; do
  [ -e "$root/$f" ] || { echo "package lacks $f"; exit 1; }
done
"$root/usr/bin/mdbcheck-cli" --version
echo "package: installs and runs"
