#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent:
# packages already present are not touched. Without root it prints the command to run.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config python3 curl
  libpugixml-dev libcurl4-openssl-dev libjpeg62-turbo-dev
  libfreetype-dev libfontconfig-dev fontconfig fonts-liberation fonts-dejavu-core
  libmicrohttpd-dev
  # fpd: its configuration and answers in JSON, the document journal it reads, its TLS,
  # the browser its tests drive (python3-websocket: over the DevTools protocol) and the
  # certificate its HTTPS test makes.
  nlohmann-json3-dev libsqlite3-dev libgnutls28-dev chromium python3-websocket openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
  mono-mcs  # the C# binding's tests: its compiler and the Mono runtime
)

# The Windows build (scripts/test-windows.sh): the MinGW-w64 cross compilers, Wine to run
# what they build, dpkg-dev for the source packages of the Windows libraries, and tclsh, with
# which SQLite's source tree generates its one-file build.
if [ "${FPDRIVER_WINDOWS:-0}" = 1 ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 dpkg-dev tcl)
  # 32-bit programs need Wine's i386 half, from the i386 architecture.
  if [ "${FPDRIVER_WINDOWS_X86:-0}" = 1 ]; then
    PACKAGES+=(wine32:i386)
    if [ "$(id -u)" -eq 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
    fi
  fi
fi

# The Windows release (scripts/release-windows.sh): the installer compiler and the archivers.
if [ "${FPDRIVER_RELEASE:-0}" = 1 ]; then
  PACKAGES+=(nsis zip unzip)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
