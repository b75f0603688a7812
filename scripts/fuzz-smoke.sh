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
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  "$f" -max_total_time="$seconds" "$corpus" "${seeds[@]}" > "build/fuzz/$name.log" 2>&1 || {
    tail -n 40 "build/fuzz/$name.log"; echo "$name failed"; exit 1; }
  grep -E '^(Done|#[0-9]+ *DONE)' "build/fuzz/$name.log" | tail -n 1 || true
done
