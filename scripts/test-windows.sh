#!/usr/bin/env bash
# Builds the Windows preset and runs its tests under Wine, with one prefix inside the
# build tree and one persistent wineserver for the whole run. Extra arguments go to ctest
# (e.g. -R Registry). ORVIX_WINDOWS_BUILD names another build tree (default build/windows),
# so several people can build side by side.
#
# The whole run happens inside one xvfb-run. The DXGI suite (label display) has a prefix
# of its own whose wineserver is started with that display; a wineserver keeps the display
# of its first process, so the main prefix, started without one, never gets it (and there
# DXGI is unavailable, as its tests expect).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ORVIX_UNDER_XVFB:-}" ]; then
  export ORVIX_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
build="${ORVIX_WINDOWS_BUILD:-build/windows}"
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# start_prefix PREFIX: creates the prefix if needed, keeps a wineserver alive for it and
# starts Wine's own services now, detached from our output: otherwise the first test
# process spawns them and they hold its pipes open until the discovery times out.
start_prefix() {
  local prefix="$1"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "Creating the Wine prefix in $prefix"
    WINEPREFIX="$prefix" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w || true
  fi
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -p 2>/dev/null || true   # 2: one is running already
  WINEPREFIX="$prefix" /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
}
main_prefix="$PWD/$build/wineprefix"
display_prefix="$PWD/$build/wineprefix-display"
trap 'WINEPREFIX="$main_prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
      WINEPREFIX="$display_prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
(unset DISPLAY WAYLAND_DISPLAY; start_prefix "$main_prefix")
start_prefix "$display_prefix"
export WINEPREFIX="$main_prefix"
# What the tests expect of the prefix (such as the test root CA): orvix_wine_prefix_setup.
if [ -x "$build/wine-prefix-setup.sh" ]; then "$build/wine-prefix-setup.sh" </dev/null; fi
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@"
