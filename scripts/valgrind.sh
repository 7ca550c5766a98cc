#!/usr/bin/env bash
# valgrind memcheck over a host doing about 1,000 mixed calls: two host threads call every
# export (OPEN and CLOSE racing the rest) on two printer emulators in the same process.
# Fails on any memory error and on any byte lost (definitely, indirectly or possibly);
# memory still reachable at exit is the libraries' own and is only reported.
# Usage: scripts/valgrind.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target thread_stress
valgrind --tool=memcheck --leak-check=full \
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
  --error-exitcode=1 --num-callers=30 \
  "$build/bench/thread_stress" --threads 2 --devices 2 --calls-per-thread 500
