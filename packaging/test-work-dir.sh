#!/usr/bin/env bash
# packaging/test-work-dir.sh DIR: empties DIR for a package test (creating it if needed)
# and prints its absolute path. A folder that holds anything but an earlier test's files
# is refused, so a mistyped argument never deletes someone's files.
set -euo pipefail
dir="$1"
marker=.orvix-package-test
if [ -e "$dir" ]; then
  if [ -n "$(ls -A "$dir")" ] && [ ! -f "$dir/$marker" ]; then
    echo "$0: $dir is not empty and holds no earlier package test: refused" >&2
    exit 1
  fi
  rm -rf "$dir"
fi
mkdir -p "$dir"
touch "$dir/$marker"
cd "$dir" && pwd
