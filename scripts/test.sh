#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_BASEDIR="$PWD" CCACHE_DIR="$PWD/build/.ccache"
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

# The Debian package installs and runs.
bash scripts/package-test.sh build

# The engine's tests again under AddressSanitizer and UBSan: damaged files must never crash.
if [ "${MDBCHECK_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMDBCHECK_SANITIZE=ON \
        -DMDBCHECK_APP=OFF -DMDBCHECK_BENCH=OFF >/dev/null
  # Every test executable labelled jet (jet_tests and the engine's sub-folders).
  jet_targets=$(ninja -C build/asan -t targets all | sed -n 's/^\(jet[a-z_]*_tests\): .*/\1/p' | sort -u)
  cmake --build build/asan -j "$jobs" --target $jet_targets
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -L jet --timeout 900
fi

# A short fuzzing run over real files, when the fuzz targets exist.
if [ -f fuzz/CMakeLists.txt ] && [ "${MDBCHECK_SKIP_FUZZ:-0}" != 1 ]; then
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMDBCHECK_FUZZ=ON -DMDBCHECK_APP=OFF -DMDBCHECK_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs"
  bash fuzz/run.sh build/fuzz "${MDBCHECK_FUZZ_SECONDS:-30}"
fi
