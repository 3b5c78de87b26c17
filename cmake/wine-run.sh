#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: cmake/wine-run.sh PREFIX PROGRAM [ARGS...]
# The Wine prefix lives inside the build folder, and one wineserver stays up for the whole test
# run (it exits by itself a minute after the last program), so that each test does not pay for
# Wine's start-up. Standard input, output and error and the exit status are the program's.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 PREFIX PROGRAM [ARGS...]" >&2; exit 2; }
mkdir -p "$1"
WINEPREFIX="$(cd "$1" && pwd)"  # Wine wants an absolute path
export WINEPREFIX
shift
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64

# Debian keeps the 64-bit loader out of PATH; elsewhere it is wine64, or wine itself.
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver
else
  wine="$(command -v wine64 || command -v wine)"
  wineserver="$(command -v wineserver)"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Making a prefix takes a while; several tests may ask at once, so only one makes it. No
  # .NET or Gecko: nothing here needs them, and Wine would otherwise offer to download them.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log="$WINEPREFIX.log"
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init </dev/null >"$log" 2>&1 9>&- || true
    "$wineserver" -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-run.sh: wineboot did not create the prefix; its output:" >&2
      cat "$log" >&2
      exit 125
    fi
  fi
  exec 9>&-
fi

# Starts the server if none runs for this prefix yet, and keeps it for 60 s after the last program.
"$wineserver" -p60 </dev/null >/dev/null 2>&1 || true
# The first program of a Wine session starts Wine's own background processes (services, device
# drivers), and they inherit its standard output and error: a caller that reads those to the end,
# as CTest does, would wait until the session ends a minute later. So a program of no consequence,
# with nothing to hand on, opens the session first; when it is open already, this costs a tenth of a
# second.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
