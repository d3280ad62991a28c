#!/usr/bin/env bash
# Renders the window on a virtual X display with a small window manager for its frame and
# writes docs/window.png (or $OUT). Needs xvfb-run and, for the title bar, jwm
# (apt-get install jwm). A database is copied first: the window opens it exclusively.
#   bash docs/screenshot.sh [DATABASE [dates|chars [TABLE [COLUMN]]]]
# The README's picture:
#   bash docs/screenshot.sh tests/data/checks2000.mdb chars 凭证 摘要
set -euo pipefail
cd "$(dirname "$0")/.."
out="${OUT:-docs/window.png}"
export CCACHE_BASEDIR="$PWD" CCACHE_DIR="$PWD/build/.ccache"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target app_screenshot >/dev/null
args=("$@")
if [ $# -gt 0 ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp "$1" "$scratch/"
  args[0]="$scratch/$(basename "$1")"
fi
xvfb-run -a -s "-screen 0 820x680x24" bash -c '
  if command -v jwm >/dev/null; then jwm -f docs/jwmrc 2>/dev/null & sleep 1; fi
  out=$1; shift
  build/tests/app/qt/app_screenshot "$out" "$@"' screenshot "$out" "${args[@]}"
