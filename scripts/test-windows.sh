#!/usr/bin/env bash
# Builds the Windows preset and runs its tests under Wine, with one prefix inside the
# build tree and one persistent wineserver for the whole run. Extra arguments go to ctest
# (e.g. -R Registry). ORVIX_WINDOWS_BUILD names another build tree (default build/windows),
# so several people can build side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ORVIX_WINDOWS_BUILD:-build/windows}"
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build"
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi
/usr/lib/wine/wineserver -p 2>/dev/null || true   # 2: one is running already for this prefix
# Start Wine's own services now, detached from our output: otherwise the first test
# process spawns them and they hold its pipes open until the discovery times out.
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
# What the tests expect of the prefix (such as the test root CA): orvix_wine_prefix_setup.
if [ -x "$build/wine-prefix-setup.sh" ]; then "$build/wine-prefix-setup.sh" </dev/null; fi
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@"
