#!/usr/bin/env bash
# Runs every benchmark briefly and prints only their summaries: each figure beside its
# baseline, with the ratio and the target. Builds the benchmarks of the native preset
# first. The figures mean something only on an otherwise quiet machine; the load average
# is printed with them. Extra arguments go to the Google Benchmark programs
# (e.g. --benchmark_min_time=1 for steadier numbers).
set -euo pipefail
cd "$(dirname "$0")/.."
benches=()
for src in bench/*_bench.cpp; do benches+=("$(basename "$src" .cpp)"); done
cmake --preset native -DORVIX_BUILD_BENCH=ON >/dev/null
cmake --build build/native --target "${benches[@]}" config_latency orvix-env orvix_log_writer >/dev/null
echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"
for b in "${benches[@]}"; do
  echo
  echo "== $b"
  "build/native/bench/$b" --summary-only --benchmark_min_time=0.2 --benchmark_repetitions=3 "$@"
done
echo
echo "== config_latency (10 changes each)"
build/native/bench/latency/config_latency 10
echo
echo "== logs_bench (orvix-env logs beside grep; LOGS_BENCH_SIZE=\"FILES LINES\", default 10 x 1000000)"
# shellcheck disable=SC2086
bench/logs_bench.sh ${LOGS_BENCH_SIZE:-10 1000000}
echo
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"
