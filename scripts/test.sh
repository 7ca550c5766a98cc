#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)"
cd build && ctest --output-on-failure -j"$(nproc)"
cd "$(git rev-parse --show-toplevel)" && ./scripts/test-windows.sh
