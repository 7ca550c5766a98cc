#!/usr/bin/env bash
# The Windows release, from the same sources and build folders as scripts/test-windows.sh:
#
#   scripts/release-windows.sh [--no-test]
#
# builds fpdriver.dll, fpctl.exe, fpemu.exe and fpd.exe for x64 (build-win/) and x86 (build-win32/),
# and makes in release/:
#   fpdriver-<version>-win-x64.zip, fpdriver-<version>-win-x86.zip   one folder each
#   fpdriver-<version>-setup.exe                                     the installer of both
# <version> is the CMake project version. Each archive holds the programs (fpd.exe with
# fpd.example.json, an example of its configuration file), the header
# and the import library, the docs, the C and C# examples, and the licence of every library
# linked into the programs: the debian/copyright file of the Debian source package it is
# built from. Then tests/kit/check_archive.sh checks each archive and
# tests/kit/installer_test.sh runs the installer under Wine (unless --no-test).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
TEST=1
[ "${1:-}" = --no-test ] && TEST=0
start=$(date +%s)
FPDRIVER_WINDOWS=1 FPDRIVER_WINDOWS_X86=1 FPDRIVER_RELEASE=1 ./scripts/setup.sh
CACHE=${FPDRIVER_WIN_CACHE:-/var/cache/fpdriver-win}
OUT=$ROOT/release
rm -rf "$OUT"
mkdir -p "$OUT/stage"

# licence_package LIBRARY: the Debian source package a static library of the cache comes from.
licence_package() {
  case "$(basename "$1")" in
    libcurl.a) echo curl ;;
    libpugixml.a) echo pugixml ;;
    libjpeg.a) echo libjpeg-turbo ;;
    libfreetype.a) echo freetype ;;
    libsqlite3.a) echo sqlite3 ;;
    libmicrohttpd.a) echo libmicrohttpd ;;
    *) return 1 ;;
  esac
}

# stage ARCH NAME BUILD: the release folder of one architecture.
stage() {
  local arch=$1 name=$2 build=$3 deps=$CACHE/$1
  ./scripts/windows-deps.sh "$arch"
  # The folder scripts/test-windows.sh configures, configured the same way when it is new.
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DFPDRIVER_WIN_ARCH="$arch" -DFPDRIVER_WIN_DEPS="$deps" -DCMAKE_PREFIX_PATH="$deps" \
      -DFPDRIVER_BENCH=OFF -DFPDRIVER_FPEMU="$ROOT/build/tools/fpemu/fpemu" >/dev/null
  fi
  cmake --build "$build" -j"$(nproc)" --target fpdriver fpctl fpemu fpd
  VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  local dir=$OUT/stage/fpdriver-$VERSION-win-$name
  mkdir -p "$dir/include/fpdriver" "$dir/lib" "$dir/docs" "$dir/examples/c" "$dir/examples/csharp" "$dir/licenses"
  local strip=$arch-w64-mingw32-strip
  for f in fpdriver.dll tools/fpctl/fpctl.exe tools/fpemu/fpemu.exe tools/fpd/fpd.exe; do
    "$strip" -o "$dir/$(basename "$f")" "$build/$f"
  done
  cp include/fpdriver/fpdriver.h "$dir/include/fpdriver/"
  # The import library for MinGW-w64 and clang hosts (on x86 with the NAME@12 symbols that
  # __stdcall callers link against) and the DLL's module-definition file.
  cp "$build/libfpdriver.dll.a" "$build/fpdriver.def" "$dir/lib/"
  cp tools/fpd/fpd.example.json "$dir/"
  cp README.md docs/exports.md docs/requests.md docs/ABI.md docs/service.md "$dir/docs/"
  cp bindings/dotnet/README.md "$dir/docs/dotnet.md"
  cp examples/c/sale.c "$dir/examples/c/"
  cp bindings/dotnet/FpDriver.cs bindings/dotnet/Till.cs bindings/dotnet/TillExample.cs "$dir/examples/csharp/"
  # Licences: every library of the cache that a program links, found on the link lines, and
  # the MinGW-w64 runtime (C runtime, winpthreads) and GCC's (libstdc++, libgcc), linked in
  # statically.
  local libs
  libs=$(cat "$build"/CMakeFiles/fpdriver.dir/link*.* "$build"/tools/fpctl/CMakeFiles/fpctl.dir/link*.* \
    "$build"/tools/fpemu/CMakeFiles/fpemu.dir/link*.* "$build"/tools/fpd/CMakeFiles/fpd.dir/link*.* | tr ' "' '\n\n' | grep "^$deps/lib/.*\.a$" | sort -u)
  {
    echo "fpdriver $VERSION for Windows ($name) links these libraries statically. Their licences follow,"
    echo "each the copyright file of the Debian source package it was built from."
    echo
  } >"$dir/licenses/README.txt"
  for lib in $libs; do
    local pkg
    if ! pkg=$(licence_package "$lib"); then
      echo "release: no licence known for $lib (add it to licence_package in $0)" >&2
      exit 1
    fi
    cp "$(ls -d "$CACHE/src/$pkg"-*/ | head -1)debian/copyright" "$dir/licenses/$pkg.txt"
    echo "$pkg.txt: $(basename "$lib") ($pkg $(cat "$deps/.built-$pkg" | cut -d' ' -f1))" >>"$dir/licenses/README.txt"
  done
  # fpd.exe compiles in nlohmann-json, a library of headers alone.
  cp /usr/share/doc/nlohmann-json3-dev/copyright "$dir/licenses/nlohmann-json.txt"
  cp /usr/share/doc/mingw-w64-common/copyright "$dir/licenses/mingw-w64.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$dir/licenses/gcc-mingw-w64.txt"
  {
    echo "nlohmann-json.txt: nlohmann-json, in fpd.exe (nlohmann-json3 $(dpkg-query -W -f='${Version}' nlohmann-json3-dev))"
    echo "mingw-w64.txt: the MinGW-w64 C runtime and winpthreads (mingw-w64 $(dpkg-query -W -f='${Version}' mingw-w64-common))"
    echo "gcc-mingw-w64.txt: libstdc++ and libgcc, under the GCC Runtime Library Exception (gcc-mingw-w64 $(dpkg-query -W -f='${Version}' gcc-mingw-w64-base))"
  } >>"$dir/licenses/README.txt"
  # The copyright files name the full texts of common licences by their place on a Debian
  # system (/usr/share/common-licenses/LGPL-2.1, ...), which a Windows machine lacks: they
  # come along in licenses/common-licenses/.
  mkdir -p "$dir/licenses/common-licenses"
  for text in $(grep -ho "/usr/share/common-licenses/[A-Za-z0-9.+_-]*[A-Za-z0-9+_-]" "$dir"/licenses/*.txt | sort -u); do
    cp "$text" "$dir/licenses/common-licenses/"
  done
  (cd "$OUT/stage" && zip -qr -X "$OUT/fpdriver-$VERSION-win-$name.zip" "fpdriver-$VERSION-win-$name")
}

stage x86_64 x64 build-win
stage i686 x86 build-win32
makensis -V2 -DVERSION="$VERSION" -DSTAGE="$OUT/stage" -DOUTFILE="$OUT/fpdriver-$VERSION-setup.exe" \
  packaging/windows/fpdriver.nsi
built=$(date +%s)
ls -l "$OUT"/*.zip "$OUT"/*.exe

status=0
if [ $TEST = 1 ]; then
  for name in x64 x86; do
    bash tests/kit/check_archive.sh "$OUT/fpdriver-$VERSION-win-$name.zip" "$VERSION" "$name" || status=1
  done
  bash tests/kit/installer_test.sh "$OUT/fpdriver-$VERSION-setup.exe" "$VERSION" "$ROOT/build-win/wineprefix" || status=1
fi
echo "Windows release: built in $((built - start)) s, tested in $(( $(date +%s) - built )) s"
exit $status
