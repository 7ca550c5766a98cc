#!/usr/bin/env bash
# Installs what is missing, builds the library and the tools, and runs the demo: the
# command-line host drives the library against the built-in printer emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target fpctl fpdriver fpemu fpd
./build/tools/fpctl/fpctl demo "$@"

# The same printer for a web till: fpd in front of the emulator, and one receipt through it.
echo
echo "== a receipt through fpd, the local print service"
scratch=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
./build/tools/fpemu/fpemu --port 0 --paper "$scratch/paper.txt" >"$scratch/fpemu.out" &
pids+=($!)
until grep -q listening "$scratch/fpemu.out" 2>/dev/null; do sleep 0.1; done
printer=$(sed -n 's/^listening on //p' "$scratch/fpemu.out")
token=demo-till-token-0123456789
cat >"$scratch/fpd.json" <<EOF
{"listen": {"address": "127.0.0.1", "port": 0}, "application_folder": "$scratch/app",
 "tills": [{"name": "demo-till", "token": "$token"}],
 "printers": [{"name": "front", "connection": {"Type": "HTTP", "URL": "$printer"}}]}
EOF
./build/tools/fpd/fpd --config "$scratch/fpd.json" >"$scratch/fpd.out" 2>"$scratch/fpd.log" &
pids+=($!)
until grep -q listening "$scratch/fpd.out" 2>/dev/null; do sleep 0.1; done
fpd=$(sed -n 's/^fpd: listening on //p' "$scratch/fpd.out")
until curl -s "${fpd}health" | grep -q '"printers_ready":1'; do sleep 0.1; done
echo "POST ${fpd}v1/printers/front/PRINTFR"
curl -s -X POST "${fpd}v1/printers/front/PRINTFR" -H "Authorization: Bearer $token" \
  -H "Accept: application/json" -H "Idempotency-Key: demo-$(date +%s)" \
  --data-binary '<Receipt><Type>Sale</Type><Lines><ProductSale><Description>Caffe espresso</Description>
    <Quantity>1</Quantity><Price>1.20</Price><Amount>1.20</Amount><Department>1</Department></ProductSale>
    </Lines><Taxes/><Payments/></Receipt>'
echo
echo "-- the emulator's paper:"
cat "$scratch/paper.txt"
