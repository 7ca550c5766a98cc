#!/usr/bin/env bash
# Builds the Windows libraries the DLL links (pugixml, libcurl with Schannel, libjpeg-turbo,
# FreeType, SQLite), libmicrohttpd for the printer emulator and GoogleTest from Debian's
# source packages with the MinGW-w64 cross toolchain, as static libraries, into a cache
# outside the work tree:
#   scripts/windows-deps.sh [x86_64|i686]  ->  $FPDRIVER_WIN_CACHE/<arch> (default
#   /var/cache/fpdriver-win). Each library is built once per source version and compiler:
#   its stamp ($PREFIX/.built-<name>) says which, so a new library builds alone.
set -euo pipefail
ARCH=${1:-x86_64}
CACHE=${FPDRIVER_WIN_CACHE:-/var/cache/fpdriver-win}
TRIPLE=$ARCH-w64-mingw32
PREFIX=$CACHE/$ARCH
SRC=$CACHE/src
TOOLCHAIN=$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-w64.cmake
PACKAGES=(pugixml curl libjpeg-turbo freetype sqlite3 libmicrohttpd)
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

ensure_sources
COMPILER=$("$TRIPLE-g++-posix" -dumpversion)
source_version() { apt-cache showsrc "$1" | awk '/^Version:/{print $2; exit}'; }
GTEST_VERSION=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)

# A cache built before the stamps were per library has one stamp for the first four and
# GoogleTest together: it stands for each of them.
if [ -f "$PREFIX/.built" ]; then
  old_stamp="$(for p in pugixml curl libjpeg-turbo freetype; do source_version "$p"; done | tr '\n' ' ')"
  old_stamp="$old_stamp${GTEST_VERSION:+$GTEST_VERSION }$COMPILER "
  if [ "$(cat "$PREFIX/.built")" = "$old_stamp" ]; then
    for p in pugixml curl libjpeg-turbo freetype; do echo "$(source_version "$p") $COMPILER" >"$PREFIX/.built-$p"; done
    echo "$GTEST_VERSION $COMPILER" >"$PREFIX/.built-googletest"
  fi
  rm -f "$PREFIX/.built"
fi

# wanted NAME VERSION: true when NAME is not yet built for VERSION with this compiler.
wanted() { [ "$(cat "$PREFIX/.built-$1" 2>/dev/null)" != "$2 $COMPILER" ]; }
stamp() { echo "$2 $COMPILER" >"$PREFIX/.built-$1"; }

todo=()
for p in "${PACKAGES[@]}"; do
  if wanted "$p" "$(source_version "$p")"; then todo+=("$p"); fi
done
if [ ${#todo[@]} -eq 0 ] && ! wanted googletest "$GTEST_VERSION"; then
  echo "Windows dependencies for $ARCH are up to date in $PREFIX"
  exit 0
fi

mkdir -p "$SRC" "$PREFIX/lib" "$PREFIX/include"
cd "$SRC"
for p in "${todo[@]}"; do
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

# built NAME: whether NAME is among the libraries this run builds.
built() { [[ " ${todo[*]} " == *" $1 "* ]]; }

if built pugixml; then
  cmake_dep pugixml "$(srcdir pugixml)" -DPUGIXML_BUILD_TESTS=OFF
  stamp pugixml "$(source_version pugixml)"
fi
if built libjpeg-turbo; then
  cmake_dep libjpeg-turbo "$(srcdir libjpeg-turbo)" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
  stamp libjpeg-turbo "$(source_version libjpeg-turbo)"
fi
if built freetype; then
  cmake_dep freetype "$(srcdir freetype)" -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  stamp freetype "$(source_version freetype)"
fi
if built curl; then
  cmake_dep curl "$(srcdir curl)" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF \
    -DCURL_ZSTD=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF \
    -DHTTP_ONLY=ON -DCURL_STATICLIB=ON -DENABLE_UNIX_SOCKETS=OFF
  stamp curl "$(source_version curl)"
fi
# SQLite: Debian ships the source tree, not the one-file amalgamation; its own tools (built
# for this machine, run with tclsh) generate sqlite3.c, which the cross compiler builds.
if built sqlite3; then
  build=$CACHE/build-$ARCH/sqlite3
  rm -rf "$build"
  mkdir -p "$build"
  (cd "$build" && "$(srcdir sqlite3)/configure" --disable-tcl >/dev/null && make -j"$JOBS" sqlite3.c >/dev/null)
  "$TRIPLE-gcc-posix" -O2 -DSQLITE_THREADSAFE=1 -c "$build/sqlite3.c" -o "$build/sqlite3.o"
  "$TRIPLE-ar" rcs "$PREFIX/lib/libsqlite3.a" "$build/sqlite3.o"
  cp "$build/sqlite3.h" "$build/sqlite3ext.h" "$PREFIX/include/"
  stamp sqlite3 "$(source_version sqlite3)"
  echo "built sqlite3 for $ARCH"
fi
# libmicrohttpd (autotools): Windows threads (its own choice for a Windows target) and
# sockets, no TLS (the emulator serves plain HTTP), its built-in MD5 and SHA-256 for digest
# authentication.
if built libmicrohttpd; then
  build=$CACHE/build-$ARCH/libmicrohttpd
  rm -rf "$build"
  mkdir -p "$build"
  (cd "$build" && "$(srcdir libmicrohttpd)/configure" --host="$TRIPLE" CC="$TRIPLE-gcc-posix" \
    --prefix="$PREFIX" --disable-shared --enable-static --disable-https \
    --disable-doc --disable-examples --disable-curl --disable-nls >/dev/null &&
    make -j"$JOBS" -C src/microhttpd >/dev/null && make -C src/microhttpd install >/dev/null &&
    make -C src/include install >/dev/null && install -m 644 libmicrohttpd.pc "$PREFIX/lib/pkgconfig/")
  stamp libmicrohttpd "$(source_version libmicrohttpd)"
  echo "built libmicrohttpd for $ARCH"
fi
# GoogleTest: the source that libgtest-dev ships.
if wanted googletest "$GTEST_VERSION"; then
  cmake_dep googletest /usr/src/googletest -Dgtest_disable_pthreads=OFF
  stamp googletest "$GTEST_VERSION"
fi
