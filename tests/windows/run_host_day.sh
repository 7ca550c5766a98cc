#!/usr/bin/env bash
# Starts the printer emulator on a free loopback port, runs the Windows host against it
# under Wine and stops the emulator: run_host_day.sh FPEMU WINE HOST_EXE DLL
set -euo pipefail
fpemu=$1 wine=$2 host=$3 dll=$4
work=$(mktemp -d)
"$fpemu" --port 0 --bind 127.0.0.1 > "$work/emu.out" 2>&1 &
emu=$!
trap 'kill "$emu" 2>/dev/null; wait "$emu" 2>/dev/null; rm -rf "$work"' EXIT
url=
for _ in $(seq 1 100); do
  url=$(grep -o 'http://[0-9.]*:[0-9]*/' "$work/emu.out" | head -1 || true)
  [ -n "$url" ] && break
  kill -0 "$emu" 2>/dev/null || { cat "$work/emu.out" >&2; exit 1; }
  sleep 0.1
done
[ -n "$url" ] || { echo "the emulator did not start" >&2; exit 1; }
# The host's log folder lands beside it; keep it out of the source tree.
cd "$(dirname "$host")"
"$wine" "$host" "$dll" "${url%/}"
