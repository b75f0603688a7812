#!/usr/bin/env bash
# Builds the console tool natively (installing what is missing) and runs it with the
# given arguments, e.g. scripts/orvix-env.sh text 'héllo'. The first build shows its
# progress; later ones are quiet unless they fail, when the build's own messages (the
# compiler's errors) are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --native
tool=build/native/tools/orvix-env
first=false
[ -x "$tool" ] || first=true
log=$(mktemp)
step() {
  if $first; then
    "$@" >&2 || return 1
  else
    "$@" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
  fi
}
$first && echo "orvix-env.sh: building the console tool (first run; this takes a minute or two)" >&2
if ! step cmake --preset native -DORVIX_BUILD_TESTS=OFF -DORVIX_BUILD_BENCH=OFF; then
  rm -f "$log"
  echo "orvix-env.sh: configuring the build failed (messages above)" >&2
  exit 1
fi
if ! step cmake --build --preset native --target orvix-env; then
  rm -f "$log"
  echo "orvix-env.sh: building the console tool failed (messages above)" >&2
  exit 1
fi
rm -f "$log"
$first && echo "orvix-env.sh: built $tool" >&2
exec "$tool" "$@"
