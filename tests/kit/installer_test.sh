#!/usr/bin/env bash
# The installer under Wine:  installer_test.sh SETUP.EXE VERSION WINEPREFIX
#  1. silent install with fpctl on PATH: both folders, the PATH entry, the uninstall entry;
#  2. fpctl.exe doctor of each architecture against the fpemu.exe beside it, which then
#     stops on Ctrl+C with its printer saved;
#  3. silent uninstall: the folder, the PATH entry and the uninstall entry gone.
# The prefix is made when missing; the test leaves it as it found it.
# Where the kernel runs no 32-bit programs (the installer is one), only step 2 runs, for x64,
# from the x64 archive beside SETUP.EXE.
set -uo pipefail
setup=$1 version=$2
export WINEPREFIX=$3 WINEDEBUG=-all DISPLAY=
. "$(dirname "$0")/../../scripts/wine.sh"
work=$(mktemp -d)
emu=
cleanup() {
  [ -n "$emu" ] && kill "$emu" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() { echo "installer_test: $*"; failed=1; }
wine_prefix_ready
folder="$WINEPREFIX/drive_c/Program Files/fpdriver"
# fpctl doctor of one architecture against the fpemu.exe beside it.
doctor() {  # ARCH LOADER
  local arch=$1 loader=$2
  (cd "$work" && exec "$loader" "$folder/$arch/fpemu.exe" --port 0 --bind 127.0.0.1 --paper paper-$arch.txt \
     --state state-$arch.xml >"$work/emu-$arch.out" 2>&1) &
  emu=$!
  local url=
  for _ in $(seq 1 600); do
    url=$(sed -n 's/^listening on \(http[^ ]*\).*/\1/p' "$work/emu-$arch.out" | tr -d '\r')
    [ -n "$url" ] && break
    kill -0 "$emu" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$url" ]; then
    fail "fpemu.exe ($arch) did not start: $(cat "$work/emu-$arch.out")"
  else
    # The device logs go beside the program, into the installed folder: the uninstaller must
    # take them too.
    "$loader" "$folder/$arch/fpctl.exe" doctor --url "$url" >"$work/doctor-$arch.out" 2>&1
    rc=$?
    tr -d '\r' <"$work/doctor-$arch.out" >"$work/doctor-$arch.txt"
    if [ $rc != 0 ] || ! grep -q "ready for the driver" "$work/doctor-$arch.txt"; then
      fail "fpctl.exe doctor ($arch) against fpemu.exe exited $rc:"
      cat "$work/doctor-$arch.txt"
    else
      echo "installer_test: fpctl.exe doctor ($arch) against fpemu.exe ($arch): ready for the driver"
    fi
  fi
  # Ctrl+C (Wine turns SIGINT into the console's event) stops the emulator, which saves its
  # printer first.
  kill -INT "$emu" 2>/dev/null
  wait "$emu"
  rc=$?
  emu=
  [ $rc = 0 ] || fail "fpemu.exe ($arch) ended with $rc on Ctrl+C"
  grep -q "<fpemu>" "$work/state-$arch.xml" 2>/dev/null || fail "fpemu.exe ($arch) saved no state on Ctrl+C"
}
if ! wine_runs_32bit; then
  # The installer is a 32-bit program, as is half of what it installs: only the x64
  # programs can run here, from the x64 archive the installer was made from.
  echo "installer_test: the installer NOT RUN: this machine's kernel runs no 32-bit programs, and the installer is one;" \
       "the x64 archive's programs run instead"
  folder=$work/unpacked
  mkdir -p "$folder"
  unzip -q "$(dirname "$setup")/fpdriver-$version-win-x64.zip" -d "$work" &&
    mv "$work/fpdriver-$version-win-x64" "$folder/x64" || fail "cannot unpack the x64 archive"
  doctor x64 "$WINE64"
  wineserver -w
  [ -d "$folder/x64/LogFiles" ] || fail "fpctl.exe left no device log in its folder"
  [ $failed = 0 ] && echo "installer_test: the x64 archive's programs ran"
  exit $failed
fi

env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\fpdriver'
system_path() { wine reg query "$env_key" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }
path_before=$(system_path)
[ -e "$folder" ] && { echo "installer_test: $folder exists before the install"; exit 1; }

# 1. Silent install (the installer returns when it is done; wineserver -w waits for its
#    children too).
wine "$setup" /S /PATH || fail "the installer failed"
wineserver -w
for f in x64/fpdriver.dll x64/fpctl.exe x64/fpemu.exe x64/fpd.exe x86/fpdriver.dll x86/fpctl.exe x86/fpemu.exe \
         x86/fpd.exe x64/fpd.example.json x64/licenses/README.txt x86/docs/exports.md uninstall.exe; do
  [ -f "$folder/$f" ] || fail "not installed: $f"
done
[ "$(system_path)" = "$path_before;C:\\Program Files\\fpdriver\\x64" ] || fail "PATH after the install: $(system_path)"
wine reg query "$uninstall_key" /reg:64 2>/dev/null | grep -q "DisplayVersion.*$version" ||
  fail "no uninstall entry for $version"

# 2. Each architecture's fpctl doctor against its own emulator, both from the installed folder.
doctor x64 "$WINE64"
doctor x86 wine
wineserver -w
[ -d "$folder/x64/LogFiles" ] || fail "fpctl.exe left no device log in its folder"

# 3. Silent uninstall: the uninstaller runs a copy of itself from the temporary folder and
#    returns at once; wineserver -w waits for that copy.
wine "$folder/uninstall.exe" /S || fail "the uninstaller failed"
wineserver -w
[ -e "$folder" ] && fail "the folder is still there: $(find "$folder" | head -5 | tr '\n' ' ')"
[ "$(system_path)" = "$path_before" ] || fail "PATH after the uninstall: $(system_path)"
wine reg query "$uninstall_key" /reg:64 >/dev/null 2>&1 && fail "the uninstall entry is still there"
[ $failed = 0 ] && echo "installer_test: installed, ran, uninstalled without a trace ($(du -k "$setup" | cut -f1) KiB)"
exit $failed
