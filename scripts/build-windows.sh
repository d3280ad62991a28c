#!/usr/bin/env bash
# Builds the window and the console tool for 64-bit Windows with MinGW-w64 into build/win64/
# and packs them:
#   build/win64/mdbcheck.exe, mdbcheck-cli.exe            (statically linked: Windows' own DLLs only)
#   build/win64/dist/mdbcheck-VERSION-win64.zip           (both exes, README, licence texts)
#   build/win64/dist/mdbcheck-VERSION-win64-setup.exe     (the installer, NSIS)
# Installs what it needs (the cross compiler, NSIS, unicode-data; wine, Xvfb, a Chinese font
# and the locale sources for the tests), as root or through sudo. With --tests it also
# builds the test programs that scripts/test.sh runs under wine, and points the
# cross-platform tests at the Linux build in build/. The Linux build does not need any of
# this.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=0
[ "${1:-}" = --tests ] && tests=1

packages=(cmake ninja-build ccache python3-minimal googletest
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 unicode-data nsis
          xvfb xauth fonts-wqy-microhei locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
build=build/win64
# Optimised as the Linux build, without debugging information: the package ships the exe
# stripped, and the DWARF of the statically linked test programs costs a third of the build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake" \
      -DMDBCHECK_LINUX_BUILD="$([ $tests = 1 ] && echo "$PWD/build")" >/dev/null
if [ $tests = 1 ]; then
  cmake --build "$build" -j "$(nproc)"
else
  cmake --build "$build" -j "$(nproc)" --target mdbcheck-cli mdbcheck
fi

# Statically linked: every DLL the programs import is one Windows ships.
for exe in "$build"/*.exe; do
  x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | while read -r dll; do
    case ${dll,,} in
      kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | \
        advapi32.dll | ole32.dll | oleaut32.dll | uxtheme.dll | shlwapi.dll | msvcrt.dll | \
        ws2_32.dll | version.dll | imm32.dll | shcore.dll) ;;
      *) echo "build-windows: $exe imports $dll, which Windows does not ship" >&2; exit 1 ;;
    esac
  done
done

# The package: the exe without its debugging symbols, the README and the licences of what
# is linked into it (GCC's runtime, MinGW-w64's, the Unicode data of the case table).
version=$(sed -n 's/^project(mdbcheck VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage="$build/dist/mdbcheck-$version-win64"
rm -rf "$build/dist"
mkdir -p "$stage/licences"
for exe in mdbcheck.exe mdbcheck-cli.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$exe" "$build/$exe"
done
cp README.md "$stage/README.md"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licences/mingw-w64.txt"
cp /usr/share/doc/unicode-data/copyright "$stage/licences/unicode-data.txt"
(cd "$build/dist" && cmake -E tar cf "mdbcheck-$version-win64.zip" --format=zip "mdbcheck-$version-win64")

# The installer: the same files under Program Files, a Start-menu entry, an uninstaller.
setup="$build/dist/mdbcheck-$version-win64-setup.exe"
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DOUTFILE="$PWD/$setup" \
         -DICON="$PWD/src/app/win32/mdbcheck.ico" -DSIZE_KB="$size_kb" packaging/windows/mdbcheck.nsi
echo "build-windows: $build/mdbcheck.exe, $build/mdbcheck-cli.exe," \
     "$build/dist/mdbcheck-$version-win64.zip, $setup"
