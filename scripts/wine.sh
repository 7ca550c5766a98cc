# Sourced by the scripts that run Windows programs under Wine.
#
# Debian's "wine" launcher starts Wine's 32-bit loader whenever Wine's 32-bit half is
# installed, and that loader hands 64-bit programs on to the 64-bit one. A kernel built
# without 32-bit support cannot start the 32-bit loader at all ("Exec format error",
# exit 126), so 64-bit programs, wineboot among them, go to the 64-bit loader directly.
WINE64=wine
[ -x /usr/lib/wine/wine64 ] && WINE64=/usr/lib/wine/wine64

# wine_runs_32bit: whether this machine can run 32-bit Windows programs at all. Only the
# kernel's own refusal ("Exec format error") means it cannot; a 32-bit loader that fails for
# any other reason (missing, broken) is a fault of the set-up, which stops the run.
wine_runs_32bit() {
  local out
  out=$(/usr/lib/wine/wine --version 2>&1) && return 0
  case "$out" in
    *"Exec format error"*) return 1 ;;
  esac
  echo "Wine's 32-bit loader does not start: $out" >&2
  exit 1
}

# wine_prefix_ready: makes $WINEPREFIX (a 64-bit prefix) when it is missing.
wine_prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] || "$WINE64" wineboot -i >/dev/null 2>&1
}
