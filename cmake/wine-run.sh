#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: cmake/wine-run.sh PREFIX PROGRAM [ARGS...]
# The Wine prefix lives inside the build folder, and one wineserver stays up for the whole test
# run (it exits by itself a while after the last program), so that each test does not pay for
# Wine's start-up.
set -euo pipefail
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEARCH=win64
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Making a prefix takes a while; several tests may ask at once, so only one makes it.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w
  fi
  flock -u 9
fi
/usr/lib/wine/wineserver -p 60 >/dev/null 2>&1 || true
exec "$wine" "$@"
