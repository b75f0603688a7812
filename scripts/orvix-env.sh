#!/usr/bin/env bash
# Builds the console tool natively (installing what is missing) and runs it with the
# given arguments, e.g. scripts/orvix-env.sh text 'héllo'.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --native
cmake --preset native -DORVIX_BUILD_TESTS=OFF -DORVIX_BUILD_BENCH=OFF >/dev/null
cmake --build --preset native --target orvix-env >/dev/null
exec build/native/tools/orvix-env "$@"
