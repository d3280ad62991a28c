#!/usr/bin/env bash
# The Windows window end to end under wine and Xvfb: the installer installs silently, the
# Start-menu entry and the programs-list entry exist, the installed mdbcheck.exe walks the
# operator's road (driven by mdbcheck-driver from another process), the repaired file is
# read back on Linux by the Linux console tool, and the uninstaller removes everything.
# Needs build/win64 (scripts/build-windows.sh --tests) and the Linux build in build/.
# Uses $WINEPREFIX and its running server when set (scripts/test.sh), else makes both.
set -euo pipefail
cd "$(dirname "$0")/../.."
win=$PWD/build/win64
cli=${MDBCHECK_LINUX_CLI:-build/tools/mdbcheck-cli}  # the Linux console tool reads the file back
version=$(sed -n 's/^project(mdbcheck VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$win/dist/mdbcheck-$version-win64-setup.exe"
for f in "$setup" "$win/mdbcheck-driver.exe" "$cli"; do
  [ -e "$f" ] || { echo "e2e-windows: $f is missing"; exit 1; }
done

scratch=$(mktemp -d)
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=1
  export WINEPREFIX="$scratch/wine"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i >/dev/null 2>&1
fi
cleanup() {
  [ $own_prefix = 1 ] && { wineserver -k 2>/dev/null || true; }
  rm -rf "$scratch"
}
trap cleanup EXIT
export WINEDEBUG=-all
fail() { echo "e2e-windows: FAIL $*"; exit 1; }

# Install, silently.
name="Access数据的日期和特殊字符检查工具"
programs="$WINEPREFIX/drive_c/Program Files/mdbcheck"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$name.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\mdbcheck'
wine "$setup" /S
for f in mdbcheck.exe mdbcheck-cli.exe uninstall.exe README.md; do
  [ -f "$programs/$f" ] || fail "not installed: $f"
done
[ -f "$menu" ] || fail "no Start-menu entry"
wine reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1 || fail "not in the programs list"
echo "e2e-windows: installed; Start-menu entry and programs-list entry present"

# The road, in a Chinese locale (built privately: wine's window titles need it).
mkdir -p "$scratch/locale"
localedef -i zh_CN -f UTF-8 "$scratch/locale/zh_CN.UTF-8" || [ -d "$scratch/locale/zh_CN.UTF-8" ]
cp tests/data/checks2000.mdb "$scratch/road.mdb"
chmod u+w "$scratch/road.mdb"
before=$("$cli" list "$scratch/road.mdb" Orders OrderDate --dates)
set +e
env -u LC_ALL LANG=zh_CN.UTF-8 LOCPATH="$scratch/locale" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  wine "$win/mdbcheck-driver.exe" road 'C:\Program Files\mdbcheck\mdbcheck.exe' \
       "$(winepath -w "$scratch/road.mdb")" > "$scratch/road.log" 2>&1
status=$?
set -e
grep '^driver:' "$scratch/road.log" || cat "$scratch/road.log"
[ $status = 0 ] || fail "the road (status $status)"

# The file, read back on Linux: sound, the single update in it, the undone batch not.
"$cli" verify "$scratch/road.mdb" >/dev/null || fail "verify after the road"
"$cli" sql "$scratch/road.mdb" "SELECT Shipped FROM Orders" | grep -q '2024-06-30' ||
  fail "the updated date is not in the file"
[ "$("$cli" list "$scratch/road.mdb" Orders Shipped --dates | wc -l)" = 2 ] ||
  fail "Shipped should keep two bad dates"
[ "$("$cli" list "$scratch/road.mdb" Orders OrderDate --dates)" = "$before" ] ||
  fail "the undone batch left changes in OrderDate"
echo "e2e-windows: the file holds the update, not the undone batch, and verifies"

# Uninstall: the uninstaller copies itself away and returns at once; wait for its work.
wine "$programs/uninstall.exe" /S
for _ in $(seq 1 100); do
  [ -e "$programs" ] || break
  sleep 0.2
done
[ ! -e "$programs" ] || fail "files left after uninstalling: $(ls "$programs")"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the programs-list entry is left"
echo "e2e-windows: uninstalled; no files, no Start-menu entry, no programs-list entry"
