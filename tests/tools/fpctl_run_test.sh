#!/bin/sh
# fpctl_run_test.sh FPCTL DAY-FOLDER URL: runs the day script of DAY-FOLDER against the
# printer at URL, from a file and from standard input, and a script that stops at its
# first failed call.
set -eu
fpctl=$1
day=$2
url=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$day"/*.xml "$day"/*.txt "$work"/
sed "s|@URL@|$url|" "$day/open.xml.in" >"$work/open.xml"
export FPDRIVER_APP_DIR="$work"

fail() { echo "$1"; cat "$work/out" 2>/dev/null; exit 1; }
expect() { grep -Eq -- "$1" "$work/out" || fail "output lacks: $1"; }

"$fpctl" run "$work/day.txt" >"$work/out" 2>&1 || fail "the day failed"
expect '^== 3 OPEN open.xml: ok$'
expect '^<Handle>1</Handle>'
expect '^== 5 PRINTFR sale.xml: ok$'
expect '^<ReceiptNumber>1</ReceiptNumber>'
expect '^== 6 PRINTNFR nonfiscal.xml: ok$'
expect '^== 7 PRINTZR zreport.xml: ok$'
expect '<DayTotalAmount>1</DayTotalAmount>'
expect '^== 8 VERSION VNRP_TARVOLX40FPETH_10: ok$'
expect '^== 9 CLOSE device.xml: ok$'

# Standard input: request files are then found from the current folder.
(cd "$work" && "$fpctl" run - <day.txt) >"$work/out" 2>&1 || fail "the day from standard input failed"
expect '^== 5 PRINTFR sale.xml: ok$'
expect '^== 9 CLOSE device.xml: ok$'

# fpctl run with the given arguments must exit with status $1; its output goes to out.
run_exits() {
  want=$1
  shift
  set +e
  "$fpctl" run "$@" >"$work/out" 2>&1
  rc=$?
  set -e
  [ $rc -eq "$want" ] || fail "fpctl run $* gave exit status $rc, not $want"
}

# The first failed call ends the run with status 1; --keep-going runs the rest.
run_exits 1 "$work/stops.txt"
expect '^== 2 PRINTFR broken.xml: FAILED$'
expect '^error text: Unable to find Lines node'
if grep -q '== 3 CLOSE' "$work/out"; then fail "the run went on after a failure"; fi
run_exits 1 --keep-going "$work/stops.txt"
expect '^== 3 CLOSE device.xml: ok$'

# A line that is no call stops the script before anything runs: no receipt is printed.
run_exits 2 "$work/typo.txt"
expect 'line 3: expected EXPORT FILE, got "SysFreeString device.xml"'
if grep -q '^== ' "$work/out"; then fail "calls ran before the bad line was found"; fi
echo "fpctl run ok"
