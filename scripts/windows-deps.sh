#!/usr/bin/env bash
# Builds the Windows libraries the DLL links (pugixml, libcurl with Schannel, libjpeg-turbo,
# FreeType) and GoogleTest from Debian's source packages with the MinGW-w64 cross toolchain,
# as static libraries, into a cache outside the work tree:
#   scripts/windows-deps.sh [x86_64|i686]  ->  $FPDRIVER_WIN_CACHE/<arch> (default
#   /var/cache/fpdriver-win). A prefix already built for the same package versions is kept.
set -euo pipefail
ARCH=${1:-x86_64}
CACHE=${FPDRIVER_WIN_CACHE:-/var/cache/fpdriver-win}
TRIPLE=$ARCH-w64-mingw32
PREFIX=$CACHE/$ARCH
SRC=$CACHE/src
TOOLCHAIN=$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-w64.cmake
PACKAGES=(pugixml curl libjpeg-turbo freetype)
JOBS=$(nproc)

# Debian's archive serves the source packages once deb-src is listed for it.
ensure_sources() {
  if apt-cache showsrc pugixml 2>/dev/null | grep -q '^Package:'; then return; fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/fpdriver-deb-src.sources
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/fpdriver-deb-src.list
  fi
  apt-get update -qq
}

versions() {
  for p in "${PACKAGES[@]}"; do apt-cache showsrc "$p" | awk '/^Version:/{print $2; exit}'; done
  dpkg-query -W -f='${Version}\n' googletest 2>/dev/null || true
  "$TRIPLE-g++-posix" -dumpversion
}

ensure_sources
STAMP="$(versions | tr '\n' ' ')"
if [ -f "$PREFIX/.built" ] && [ "$(cat "$PREFIX/.built")" = "$STAMP" ]; then
  echo "Windows dependencies for $ARCH are up to date in $PREFIX"
  exit 0
fi

mkdir -p "$SRC" "$PREFIX"
cd "$SRC"
for p in "${PACKAGES[@]}"; do
  if ! ls -d "$SRC/$p"-*/ >/dev/null 2>&1; then
    apt-get source -qq --download-only "$p" >/dev/null
    dsc=$(ls "$SRC/$p"_*.dsc | head -1)
    dpkg-source --no-check -x "$dsc" >/dev/null
  fi
done
srcdir() { ls -d "$SRC/$1"-*/ | head -1; }

cmake_dep() {  # name source-dir options...
  local name=$1 dir=$2; shift 2
  local build=$CACHE/build-$ARCH/$name
  rm -rf "$build"
  cmake -S "$dir" -B "$build" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DFPDRIVER_WIN_ARCH="$ARCH" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_PREFIX_PATH="$PREFIX" -DBUILD_SHARED_LIBS=OFF -DCMAKE_CROSSCOMPILING_EMULATOR= "$@" >/dev/null
  cmake --build "$build" -j"$JOBS" >/dev/null
  cmake --install "$build" >/dev/null
  echo "built $name for $ARCH"
}

cmake_dep pugixml "$(srcdir pugixml)" -DPUGIXML_BUILD_TESTS=OFF
cmake_dep libjpeg-turbo "$(srcdir libjpeg-turbo)" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
cmake_dep freetype "$(srcdir freetype)" -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
cmake_dep curl "$(srcdir curl)" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
  -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF \
  -DCURL_ZSTD=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF \
  -DHTTP_ONLY=ON -DCURL_STATICLIB=ON -DENABLE_UNIX_SOCKETS=OFF
# GoogleTest: the source that libgtest-dev ships.
cmake_dep googletest /usr/src/googletest -Dgtest_disable_pthreads=OFF

echo "$STAMP" > "$PREFIX/.built"
