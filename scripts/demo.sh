#!/usr/bin/env bash
# Installs what is missing, builds the library and the tools, and runs the demo: the
# command-line host drives the library against the built-in printer emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target fpctl fpdriver
exec ./build/tools/fpctl/fpctl demo "$@"
