#!/usr/bin/env bash
# Runs the fuzz targets for SECONDS on a seed corpus of real files (the committed fixtures
# and corpus files and, when present, the shared corpus: $MDBCHECK_SHARED_DIR or the folder
# beside the checkout), keeping only inputs small enough to mutate.
#   bash fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?BUILD_DIR}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
max_len=262144

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/seeds"
shared=${MDBCHECK_SHARED_DIR:-$root/../shared}
for f in "$root"/tests/data/*.mdb "$root"/tests/data/*.accdb "$root"/tests/corpus/*/*.mdb \
         "$root"/tests/corpus/*/*.accdb "$shared"/corpus/*/*.mdb "$shared"/corpus/*/*.accdb; do
  [ -f "$f" ] || continue
  [ "$(stat -c %s "$f")" -le "$max_len" ] || continue
  cp "$f" "$work/seeds/$(basename "$(dirname "$f")")_$(basename "$f")"
done
echo "fuzz: $(ls "$work/seeds" | wc -l) seed files, ${seconds}s"

"$build/fuzz/jet_fuzz" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 \
  -timeout=20 -print_final_stats=1 "$work/corpus" "$work/seeds"
