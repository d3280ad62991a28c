#!/usr/bin/env bash
# The Windows window's picture for the README (docs/window-windows.png, or $OUT): the
# character check of tests/data/checks2000.mdb with 凭证's 摘要 listed, in wine's own
# desktop (for the frame) on a virtual X display, in a Chinese locale, driven by the test
# driver. Builds what it needs (scripts/build-windows.sh); makes a wine prefix of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${OUT:-docs/window-windows.png}"
export CCACHE_BASEDIR="$PWD" CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
# The Windows build tree as it is (scripts/build-windows.sh makes it the first time).
[ -f build/win64/build.ninja ] || bash scripts/build-windows.sh >/dev/null
cmake --build build/win64 --target mdbcheck mdbcheck-driver >/dev/null
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -p "$WINEPREFIX" "$scratch/locale"
wineserver -p
wineboot -i >/dev/null 2>&1
localedef -i zh_CN -f UTF-8 "$scratch/locale/zh_CN.UTF-8" || [ -d "$scratch/locale/zh_CN.UTF-8" ]
cp tests/data/checks2000.mdb "$scratch/shot.mdb"
chmod u+w "$scratch/shot.mdb"
env -u LC_ALL LANG=zh_CN.UTF-8 LOCPATH="$scratch/locale" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  wine explorer /desktop=mdbcheck,800x660 "$(winepath -w build/win64/mdbcheck-driver.exe)" shot \
       "$(winepath -w build/win64/mdbcheck.exe)" "$(winepath -w "$scratch/shot.mdb")" \
       "$(winepath -w "$scratch/shot.bmp")"
for _ in $(seq 1 150); do
  [ -s "$scratch/shot.bmp" ] && break
  sleep 0.2
done
python3 docs/bmp-to-png.py "$scratch/shot.bmp" "$out"
echo "screenshot-windows: $out"
