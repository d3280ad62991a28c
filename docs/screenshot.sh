#!/usr/bin/env bash
# Renders the window on a virtual X display with a small window manager for its frame and
# writes docs/window.png. Needs xvfb-run and, for the title bar, jwm (apt-get install jwm).
#   bash docs/screenshot.sh [DATABASE]
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_DIR="$PWD/build/.ccache"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target app_screenshot >/dev/null
xvfb-run -a -s "-screen 0 640x400x24" bash -c '
  if command -v jwm >/dev/null; then jwm -f docs/jwmrc 2>/dev/null & sleep 1; fi
  build/tests/app/app_screenshot docs/window.png "$@"' screenshot "$@"
