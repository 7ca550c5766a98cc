#!/bin/sh
# The three lines of a C# till in README.md ("For Windows integrators"), compiled with the
# binding and run against the emulator at URL:  readme_till.sh MCS MONO SOURCE_DIR WORK URL
set -eu
mcs=$1 mono=$2 src=$3 work=$4 url=$5
mkdir -p "$work"
# The first csharp block of the section, its printer address replaced by the emulator's.
lines=$(awk '/^## For Windows integrators/ {in_section=1; next}
             /^## / {in_section=0}
             in_section && /^```csharp/ {in_block=1; next}
             in_block && /^```/ {exit}
             in_block {print}' "$src/README.md" | sed "s|http://192.168.1.50/|$url|")
[ -n "$lines" ] || { echo "README.md has no C# till block"; exit 1; }
cat >"$work/ReadmeTill.cs" <<CS
static class ReadmeTill
{
    static void Main()
    {
$lines
        System.Console.WriteLine("the README's till printed its sale");
    }
}
CS
"$mcs" -nologo -out:"$work/readme_till.exe" -r:System.Xml.dll "$work/ReadmeTill.cs" \
  "$src/bindings/dotnet/FpDriver.cs" "$src/bindings/dotnet/Till.cs"
"$mono" "$work/readme_till.exe"
