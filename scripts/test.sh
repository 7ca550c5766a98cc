#!/usr/bin/env bash
# Installs what is missing, then builds and tests in seven steps, each in its own folder:
#   build/       the plain build (g++): the whole suite
#   build-san/   AddressSanitizer (leak check on) + UndefinedBehaviorSanitizer (clang), with
#                the fuzz targets: the whole suite again, and each fuzz target's short run
#   build-tsan/  ThreadSanitizer (g++): the tests labelled "threads"
#   valgrind     memcheck over a host doing 1,000 mixed calls (scripts/valgrind.sh)
#   build-win/   the Windows x64 DLL and its tests under Wine (scripts/test-windows.sh)
#   build-win32/ the same for the x86 DLL that 32-bit hosts load
#   release/     the Windows release archives and installer from those two, checked, and the
#                installer run under Wine (scripts/release-windows.sh)
# Arguments go to the plain build's configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

CC=clang CXX=clang++ cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug \
  -DFPDRIVER_SANITIZE=ON -DFPDRIVER_FUZZ=ON -DFPDRIVER_BENCH=OFF >/dev/null
cmake --build build-san -j"$jobs"
ctest --test-dir build-san --output-on-failure -j"$jobs"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DFPDRIVER_TSAN=ON -DFPDRIVER_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target fp_threaded_tests
# Without address randomisation: ThreadSanitizer needs its fixed memory layout.
setarch "$(uname -m)" -R ctest --test-dir build-tsan -L threads --output-on-failure -j"$jobs"

./scripts/valgrind.sh build

./scripts/test-windows.sh x86_64
./scripts/test-windows.sh i686
./scripts/release-windows.sh
