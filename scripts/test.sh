#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. Exits non-zero on any
# failure, and on any skipped test but those scripts/check-skips.sh accepts (an optional
# file of the shared folder that is absent). Prints how long each piece took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_BASEDIR="$PWD" CCACHE_DIR="$PWD/build/.ccache"
jobs=$(nproc)

started=$SECONDS piece_started=$SECONDS
piece_done() {
  echo "test.sh: $1 took $((SECONDS - piece_started)) s (total $((SECONDS - started)) s)"
  piece_started=$SECONDS
}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
piece_done "build"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600 \
  --output-junit "$PWD/build/ctest-junit.xml"
bash scripts/check-skips.sh build/ctest-junit.xml
piece_done "unit, integration and end-to-end tests"

# The Debian package installs and runs.
bash scripts/package-test.sh build
piece_done "package"

# The engine's tests again under AddressSanitizer and UBSan: damaged files must never crash.
if [ "${MDBCHECK_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMDBCHECK_SANITIZE=ON \
        -DMDBCHECK_APP=OFF -DMDBCHECK_BENCH=OFF >/dev/null
  # Every test executable labelled jet (jet_tests and the engine's sub-folders).
  jet_targets=$(ninja -C build/asan -t targets all | sed -n 's/^\(jet[a-z_]*_tests\): .*/\1/p' | sort -u)
  cmake --build build/asan -j "$jobs" --target $jet_targets
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -L jet --timeout 900 \
    --output-junit "$PWD/build/asan/ctest-junit.xml"
  bash scripts/check-skips.sh build/asan/ctest-junit.xml
  piece_done "engine tests under sanitizers"
fi

# The Windows build (MinGW-w64): the engine, check, repair and console tests as Windows
# programs under wine, in a wine prefix made for this run, and the cross-platform tests
# against the Linux build (the same bytes, each system's locks). MDBCHECK_SKIP_WINDOWS=1
# leaves it out.
if [ "${MDBCHECK_SKIP_WINDOWS:-0}" != 1 ]; then
  bash scripts/build-windows.sh --tests
  piece_done "Windows build"
  WINEPREFIX=$(mktemp -d)/wine
  export WINEPREFIX WINEDEBUG=-all LC_ALL=C.UTF-8
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
  # One server for the whole run, started before the prefix is made: each program then starts
  # in a tenth of a second. (Started after wineboot, it finds wineboot's server still running
  # and exits with status 2.)
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i >/dev/null 2>&1
  # Left to the Linux run: the scan filters' comparisons on the benchmark files and the shared
  # corpus (the same code as on the committed files, which run here too; under wine they take
  # minutes), and the count queries through the console tool, one process per column (each
  # query runs here in process, and the console's sql command in its own test).
  ctest --test-dir build/win64 --output-on-failure -j "$jobs" --timeout 600 \
    -E 'BenchmarkFiles|(ScanFastPath|OnePassCounts)\.SharedCorpus|CliSql\.CountQueries' \
    --output-junit "$PWD/build/win64/ctest-junit.xml"
  bash scripts/check-skips.sh build/win64/ctest-junit.xml --windows
  piece_done "Windows tests under wine"
  # The window: its installer installs silently, the installed program walks the operator's
  # road under Xvfb, the file is read back here, and the uninstaller removes it all.
  bash tests/win32/e2e.sh
  wineserver -k || true
  piece_done "Windows window end to end under wine"
fi

# A short fuzzing run over real files, when the fuzz targets exist.
if [ -f fuzz/CMakeLists.txt ] && [ "${MDBCHECK_SKIP_FUZZ:-0}" != 1 ]; then
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMDBCHECK_FUZZ=ON -DMDBCHECK_APP=OFF -DMDBCHECK_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs" --target jet_fuzz  # the engine and its target, nothing more
  bash fuzz/run.sh build/fuzz "${MDBCHECK_FUZZ_SECONDS:-30}"
  piece_done "fuzzing"
fi
