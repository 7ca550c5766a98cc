#!/bin/sh
# status_on.sh FPCTL DAY-FOLDER URL: OPEN and GETSTATUS on the printer at URL, the script
# given to fpctl run on standard input.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|@URL@|$3|" "$2/open.xml.in" >"$work/open.xml"
cp "$2/device.xml" "$work/"
cd "$work"
printf 'OPEN open.xml\nGETSTATUS device.xml\nCLOSE device.xml\n' | FPDRIVER_APP_DIR="$work" "$1" run -
