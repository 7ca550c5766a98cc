#!/usr/bin/env bash
# Checks one Windows release archive:  check_archive.sh ZIP VERSION x64|x86
#  - one folder fpdriver-VERSION-win-ARCH with the programs, header, import library, docs,
#    the C and C# examples and the licences;
#  - the programs are for ARCH and import only Windows' own DLLs (no MinGW runtime DLL);
#  - the DLL's and the emulator's version resource carry VERSION;
#  - the DLL exports exactly the 22 functions;
#  - a licence for every library the programs link, and for the runtimes, with the full
#    texts of the common licences they refer to;
#  - the C example builds against the archive's header and import library.
set -uo pipefail
zip=$1 version=$2 name=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "check_archive $(basename "$zip"): $*"; failed=1; }

case $name in
  x64) triple=x86_64-w64-mingw32 format=pei-x86-64 wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows ;;
  x86) triple=i686-w64-mingw32 format=pei-i386 wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows ;;
  *) echo "usage: check_archive.sh ZIP VERSION x64|x86" >&2; exit 2 ;;
esac
[ -d "$wine_dlls" ] || wine_dlls=/usr/lib/wine/$(basename "$wine_dlls")

unzip -q "$zip" -d "$work" || { echo "check_archive: cannot unzip $zip"; exit 1; }
top=fpdriver-$version-win-$name
[ "$(ls "$work")" = "$top" ] || fail "the archive holds $(ls "$work" | tr '\n' ' ')instead of the one folder $top"
dir=$work/$top

for f in fpdriver.dll fpctl.exe fpemu.exe fpd.exe fpd.example.json include/fpdriver/fpdriver.h lib/libfpdriver.dll.a lib/fpdriver.def \
         docs/README.md docs/exports.md docs/requests.md docs/ABI.md docs/service.md docs/dotnet.md examples/c/sale.c \
         examples/csharp/FpDriver.cs examples/csharp/Till.cs examples/csharp/TillExample.cs licenses/README.txt; do
  [ -s "$dir/$f" ] || fail "missing $f"
done

for program in fpdriver.dll fpctl.exe fpemu.exe fpd.exe; do
  [ -f "$dir/$program" ] || continue
  objdump -f "$dir/$program" | grep -q "file format $format" || fail "$program is not $format"
  for dll in $(objdump -p "$dir/$program" | sed -n 's/^\s*DLL Name: //p'); do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    [ -f "$wine_dlls/$lower" ] || fail "$program needs $dll, which is not a Windows system DLL"
  done
done
for program in fpdriver.dll fpemu.exe fpd.exe; do
  shown=$(strings -el "$dir/$program" 2>/dev/null | grep -A1 -x FileVersion | tail -1)
  [ "$shown" = "$version" ] || fail "$program's version resource says '$shown', not $version"
done
cmake -DOBJDUMP="$triple-objdump" -DDLL="$dir/fpdriver.dll" -P "$here/../windows/check_exports.cmake" >/dev/null ||
  fail "the DLL's export table is not the 22 functions"

# The libraries the programs link (the release script lists each in licenses/README.txt)
# and the two runtimes; a library missing from the list is a licence missing.
for pkg in curl pugixml libjpeg-turbo freetype sqlite3 libmicrohttpd nlohmann-json mingw-w64 gcc-mingw-w64; do
  if ! grep -q "^$pkg.txt: " "$dir/licenses/README.txt" 2>/dev/null; then fail "licenses/README.txt does not name $pkg"; fi
  grep -qi "copyright" "$dir/licenses/$pkg.txt" 2>/dev/null || fail "no licence text licenses/$pkg.txt"
done
for text in $(grep -ho "/usr/share/common-licenses/[A-Za-z0-9.+_-]*[A-Za-z0-9+_-]" "$dir"/licenses/*.txt | sort -u); do
  [ -s "$dir/licenses/common-licenses/$(basename "$text")" ] || fail "a licence names $text, which the archive lacks"
done

"$triple-gcc" -std=c11 -Wall -Wextra -Werror -I"$dir/include" "$dir/examples/c/sale.c" -L"$dir/lib" -lfpdriver.dll \
  -loleaut32 -o "$work/sale.exe" || fail "examples/c/sale.c does not build against the archive"
if command -v mcs >/dev/null; then
  (cd "$dir/examples/csharp" && mcs -nologo -warnaserror -platform:"$name" -r:System.Xml.dll -out:"$work/till.exe" \
    TillExample.cs Till.cs FpDriver.cs) || fail "the C# example does not build"
fi
[ $failed = 0 ] && echo "check_archive $(basename "$zip"): ok ($(du -k "$zip" | cut -f1) KiB)"
exit $failed
