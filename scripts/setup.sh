#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent:
# packages already present are not touched. Without root it prints the command to run.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libpugixml-dev libcurl4-openssl-dev libjpeg62-turbo-dev
  libfreetype-dev libfontconfig-dev fontconfig fonts-liberation
  libmicrohttpd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
)

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
