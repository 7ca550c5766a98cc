#!/usr/bin/env bash
# Runs the Windows serial tests against serial_peer.py on a pseudo-terminal: Wine opens COMn
# through $WINEPREFIX/dosdevices/comn, here a link to the terminal.
#   run_serial_test.sh PEER EMULATOR TEST_PROGRAM
set -euo pipefail
peer=$1
shift
link=${WINEPREFIX:-$HOME/.wine}/dosdevices/com41
coproc PEER { exec python3 "$peer"; }
peer_pid=$PEER_PID
trap 'rm -f "$link"; kill "$peer_pid" 2>/dev/null || true' EXIT
read -r -t 10 -u "${PEER[0]}" terminal
ln -sfn "$terminal" "$link"
"$@"
