#!/bin/sh
# fpctl_journal_test.sh FPCTL DAY-FOLDER URL: fpctl journal on a journal written by another
# program with the journal's columns, and fpctl settle against the printer at URL.
set -eu
fpctl=$1
day=$2
url=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|@URL@|$url|" "$day/open.xml.in" >"$work/open.xml"
export FPDRIVER_APP_DIR="$work"
folder="$work/DocumentJournal"

fail() { echo "$1"; cat "$work/out" 2>/dev/null; exit 1; }
expect() { grep -Eq -- "$1" "$work/out" || fail "output lacks: $1"; }
# fpctl with the given arguments must exit with status $1; its output goes to out.
exits() {
  want=$1
  shift
  set +e
  "$fpctl" "$@" >"$work/out" 2>&1
  rc=$?
  set -e
  [ $rc -eq "$want" ] || fail "fpctl $* gave exit status $rc, not $want"
}

exits 1 journal --serial 99TEST000001
expect "no journal of printer 99TEST000001 in $folder"

mkdir -p "$folder"
python3 - "$folder/99TEST000001.journal" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.executescript("""
CREATE TABLE documents (id INTEGER PRIMARY KEY, kind TEXT, state TEXT, identity TEXT, number_before TEXT,
  closing_before TEXT, number TEXT, closing TEXT, ej_number TEXT, date_time TEXT, total TEXT, message TEXT,
  result TEXT, device TEXT, process INTEGER, created TEXT, updated TEXT);
PRAGMA user_version=1;
INSERT INTO documents VALUES (1, 'receipt', 'printed', 'ref:SALE-1', '41', '7', '42', '8', '0008-0042',
  '2026-12-10T15:04:05', '12.50', 'Receipt printed', '', 'till1', 1, '2026-12-10T15:04:00Z', '2026-12-10T15:04:06Z');
INSERT INTO documents VALUES (2, 'z report', 'unknown', '', '42', '8', '', '', '', '', '',
  'Outcome unknown: the printer did not answer', '', 'till1', 1, '2026-12-10T22:00:00Z', '2026-12-10T22:00:30Z');
""")
db.commit()
PY

exits 0 journal --serial 99TEST000001
expect '^1 +2026-12-10T15:04:00Z +receipt +printed +number 42 +closing 8 +ej 0008-0042 +total 12.50 +ref:SALE-1 +Receipt printed$'
expect '^2 +2026-12-10T22:00:00Z +z report +unknown +number - +closing - .*Outcome unknown: the printer did not answer$'
exits 0 journal --serial 99TEST000001 --since 2026-12-10T16:00:00Z
if grep -q 'receipt' "$work/out"; then fail "--since listed an earlier document"; fi
expect '^2 .*z report'
exits 0 journal --serial 99TEST000001 --limit 1
expect '^1 .*receipt'
if grep -q 'z report' "$work/out"; then fail "--limit 1 listed two documents"; fi
exits 0 journal --serial 99TEST000001 --since 2099-01-01
expect '^no documents since 2099-01-01$'
exits 2 journal --serial 99TEST000001 --since yesterday
expect 'takes a UTC time'
exits 0 journal
expect '^  99TEST000001$'

# settle: the printer's own documents; a printer with nothing unsettled ends in 0.
exits 0 settle "$work/open.xml"
expect '^OPEN: ok$'
expect '^GETSTATUS: ok$'
expect '^CLOSE: ok$'
expect '^nothing unsettled on printer [0-9A-Z]+'
exits 2 settle
echo "fpctl journal ok"
