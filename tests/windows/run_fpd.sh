#!/usr/bin/env bash
# fpd.exe under Wine against the printer emulator (the Linux program) on 127.0.0.1: it
# starts with a configuration file, answers /health, prints one receipt a till posts with
# its token, and stops cleanly on Ctrl+C (Wine turns SIGINT into the console's event).
#   run_fpd.sh FPEMU WINE FPD_EXE DLL
set -euo pipefail
fpemu=$1 wine=$2 fpd=$3 dll=$4
work=$(mktemp -d)
emu= service=
cleanup() {
  [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null
  [ -n "$emu" ] && kill "$emu" 2>/dev/null && wait "$emu" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "run_fpd: $*" >&2; for f in "$work"/*.out; do echo "--- $f" >&2; cat "$f" >&2; done; exit 1; }

# The first URL a program prints into FILE, within ten seconds while PID lives.
url_of() {
  local file=$1 pid=$2 url=
  for _ in $(seq 1 200); do
    url=$(grep -o 'http://[0-9.]*:[0-9]*/' "$file" | head -1 || true)
    [ -n "$url" ] && { echo "${url%/}"; return; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

"$fpemu" --port 0 --bind 127.0.0.1 --paper "$work/paper.txt" > "$work/emu.out" 2>&1 &
emu=$!
emu_url=$(url_of "$work/emu.out" "$emu") || fail "the emulator did not start"

# Windows paths through Wine's Z: drive, which is the Unix root (without WINE, the script
# runs the Linux fpd).
drive=Z:
[ -n "$wine" ] || drive=
token=till-token-for-the-windows-test
cat > "$work/fpd.json" <<JSON
{
  "listen": {"address": "127.0.0.1", "port": 0},
  "library": "$drive$dll",
  "application_folder": "$drive$work/app",
  "tills": [{"name": "till-1", "token": "$token"}],
  "printers": [{"name": "front", "connection": {"Type": "HTTP", "URL": "$emu_url/"}}]
}
JSON
(cd "$work" && exec $wine "$fpd" --config "$drive$work/fpd.json") > "$work/fpd.out" 2>&1 &
service=$!
for _ in $(seq 1 600); do
  grep -q 'fpd: listening on' "$work/fpd.out" && break
  kill -0 "$service" 2>/dev/null || fail "fpd.exe ended before it listened"
  sleep 0.1
done
fpd_url=$(url_of "$work/fpd.out" "$service") || fail "fpd.exe did not listen"

health=$(curl -s --max-time 30 "$fpd_url/health") || fail "GET /health failed"
case $health in *'"status":"ok"'*) ;; *) fail "GET /health answered: $health" ;; esac
status=$(curl -s -o /dev/null -w '%{http_code}' --max-time 30 "$fpd_url/v1/printers")
[ "$status" = 401 ] || fail "GET /v1/printers without a token answered $status, not 401"

receipt='<Receipt><Type>Sale</Type><Lines><ProductSale><Description>Caffe</Description><Quantity>1</Quantity><Price>1.20</Price><Amount>1.20</Amount><Department>1</Department></ProductSale></Lines><Taxes/><Payments/></Receipt>'
answer=$(curl -s --max-time 120 -X POST "$fpd_url/v1/printers/front/PRINTFR" -H "Authorization: Bearer $token" \
  -H "Idempotency-Key: windows-test-1" --data-binary "$receipt") || fail "POST PRINTFR failed"
case $answer in *'<Error>False</Error>'*) ;; *) fail "PRINTFR answered: $answer" ;; esac
# The same key again is answered from the document journal: still one receipt on paper.
again=$(curl -s --max-time 120 -X POST "$fpd_url/v1/printers/front/PRINTFR" -H "Authorization: Bearer $token" \
  -H "Idempotency-Key: windows-test-1" --data-binary "$receipt") || fail "the repeated POST failed"
case $again in *'<Error>False</Error>'*) ;; *) fail "the repeated PRINTFR answered: $again" ;; esac
printed=$(grep -c "DOCUMENTO COMMERCIALE" "$work/paper.txt" || true)
[ "$printed" = 1 ] || fail "the emulator printed $printed receipts, not 1"

kill -INT "$service"
rc=0
wait "$service" || rc=$?
service=
[ $rc = 0 ] || fail "fpd.exe ended with $rc on Ctrl+C"
grep -q 'fpd: stopping (Ctrl+C)' "$work/fpd.out" && grep -q 'fpd: stopped' "$work/fpd.out" ||
  fail "fpd.exe did not stop cleanly on Ctrl+C"
echo "run_fpd: fpd.exe served /health and printed one receipt through $emu_url, then stopped on Ctrl+C"
