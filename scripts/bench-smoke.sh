#!/usr/bin/env bash
# Runs every benchmark briefly, so they keep building and running; the numbers of a
# smoke run are not measurements.
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s nullglob
for b in build/native/bench/*_bench; do
  echo "running $(basename "$b")"
  "$b" --benchmark_min_time=0.01 >/dev/null
done
echo "running logs_bench (2 small files)"
bench/logs_bench.sh 2 2000 >/dev/null
echo "running config_latency"
build/native/bench/latency/config_latency 3
