#!/usr/bin/env bash
# Regenerates the committed generated sources and fails when they differ.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for gen in scripts/gen_*.py; do
  [ -e "$gen" ] || continue
  python3 "$gen" --check || status=1
done
exit $status
