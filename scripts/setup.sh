#!/usr/bin/env bash
# Installs every Debian package the project needs, among them every tool a test runs
# (mdb-export, xvfb-run, chattr, clang's fuzzer, dpkg-deb), so that on a set-up machine no
# test skips for want of one. Idempotent; runs as root or through sudo.
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache pkg-config python3-minimal
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libicu-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  mdbtools
  xvfb xauth fonts-wqy-microhei
  clang libclang-rt-14-dev
  dpkg-dev file
  e2fsprogs
  unicode-data
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
