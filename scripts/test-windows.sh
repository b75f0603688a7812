#!/usr/bin/env bash
# Builds the Windows preset and runs its tests under Wine, with one prefix inside the
# build tree and one persistent wineserver for the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
wineserver -p 2>/dev/null || true   # 2: one is running already for this prefix
# Start Wine's own services now, detached from our output: otherwise the first test
# process spawns them and they hold its pipes open until the discovery times out.
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --preset windows "$@"
