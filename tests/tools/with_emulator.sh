#!/bin/sh
# with_emulator.sh [--down] [--expect-exit N] [--expect REGEX]... FPEMU [FPEMU-ARGS...] -- COMMAND [ARGS...]
#
# Starts the printer emulator FPEMU on a free loopback port, replaces @URL@ in COMMAND's
# arguments with its address (also exported as FPEMU_URL), runs COMMAND and stops the
# emulator. With --down the emulator is stopped before COMMAND runs, so the address is
# one where nothing answers. The exit status is COMMAND's, or, with --expect-exit, 0 when
# COMMAND exited with N and its output matched every --expect REGEX (grep -E), 1 otherwise.
set -u
down=0
expect_exit=
patterns=
while :; do
  case "$1" in
    --down) down=1; shift ;;
    --expect-exit) expect_exit=$2; shift 2 ;;
    --expect) patterns="$patterns
$2"; shift 2 ;;
    *) break ;;
  esac
done
fpemu=$1
shift
emu_args=
while [ "$1" != "--" ]; do
  emu_args="$emu_args $1"
  shift
done
shift

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck disable=SC2086
"$fpemu" --port 0 --paper "$work/paper" $emu_args >"$work/emu.out" 2>&1 &
pid=$!
# Readiness: the emulator prints its address once it listens (bounded wait).
tries=0
until grep -q "listening on" "$work/emu.out" 2>/dev/null; do
  tries=$((tries + 1))
  if [ $tries -gt 600 ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "the emulator did not start:"; cat "$work/emu.out"; exit 1
  fi
  sleep 0.05
done
FPEMU_URL=$(sed -n 's/^listening on //p' "$work/emu.out")
export FPEMU_URL
if [ $down -eq 1 ]; then
  kill "$pid"
  wait "$pid" 2>/dev/null
fi

# @URL@ in the arguments becomes the emulator's address.
n=$#
i=0
while [ $i -lt $n ]; do
  a=$1
  shift
  case "$a" in *@URL@*) a=$(printf '%s' "$a" | sed "s|@URL@|$FPEMU_URL|g") ;; esac
  set -- "$@" "$a"
  i=$((i + 1))
done

"$@" >"$work/out" 2>&1
rc=$?
cat "$work/out"
[ -z "$expect_exit" ] && exit $rc
if [ "$rc" != "$expect_exit" ]; then
  echo "expected exit status $expect_exit, got $rc"
  exit 1
fi
echo "$patterns" | while IFS= read -r p; do
  [ -z "$p" ] && continue
  grep -Eq -- "$p" "$work/out" || { echo "output lacks: $p"; exit 1; }
done
