#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a short time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${ORVIX_FUZZ_SECONDS:-20}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
for f in build/fuzz/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "fuzzing $name for ${seconds}s"
  "$f" -max_total_time="$seconds" -print_final_stats=0 "$corpus" fuzz/corpus/"$name" 2>&1 | tail -n 3
done
