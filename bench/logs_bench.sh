#!/usr/bin/env bash
# orvix-env logs beside grep, over files the event log itself wrote:
#   bench/logs_bench.sh [FILES [LINES]]     (default 10 files of 1000000 lines)
# - the filter `logs --level 1 --category MGMT_ENV` against
#   `grep -h 'LVL:[01] .* MGMT_ENV :'` over the same files (target: at most 2x grep's time);
# - the full merged `--json` stream in lines per second (target: at least 500000);
# - the peak resident memory of `logs` over 1 file and over all files (target: under 64 MB).
# Both commands write into a pipe (grep stops at the first match when it writes to
# /dev/null). The files are written once by the event log (tests' orvix_log_writer) and
# kept under build/native/bench/logs-data for the next run of the same size.
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-10}
lines=${2:-1000000}
tool=build/native/tools/orvix-env
writer=build/native/tests/tools/orvix_log_writer
[ -x "$tool" ] && [ -x "$writer" ] || cmake --build build/native --target orvix-env orvix_log_writer >/dev/null
data=$PWD/build/native/bench/logs-data/${files}x${lines}
folder=$data/pd/Quillon/OrvixAgent/logs
if [ "$(ls "$folder" 2>/dev/null | wc -l)" != "$files" ]; then
  rm -rf "$data" && mkdir -p "$data/pd"
  for i in $(seq 0 $((files - 1))); do
    # Each file a process of its own, clocks 1 ms apart, so the merge interleaves them.
    PROGRAMDATA=$data/pd "$writer" "bench$i" $((1710000000000 + i)) 1 "$lines" >/dev/null
  done
fi
mapfile -t paths < <(ls -d "$folder"/*)

# Seconds and the peak resident memory (KiB) of a shell pipeline's slowest process.
measure() {
  python3 - "$@" <<'EOF'
import resource, subprocess, sys, time
start = time.perf_counter()
subprocess.run(["bash", "-c", sys.argv[1]], check=True)
elapsed = time.perf_counter() - start
print(f"{elapsed:.3f} {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}")
EOF
}
best() {  # the fastest of three runs
  local out best_t=999999 best_m=0
  for _ in 1 2 3; do
    read -r t m < <(measure "$1")
    if python3 -c "import sys; sys.exit(0 if $t < $best_t else 1)"; then best_t=$t best_m=$m; fi
  done
  echo "$best_t $best_m"
}
quoted=$(printf "'%s' " "${paths[@]}")
read -r grep_t _ < <(best "grep -h 'LVL:[01] .* MGMT_ENV :' $quoted | cat >/dev/null")
read -r filter_t filter_m < <(best "$tool logs --level 1 --category MGMT_ENV $quoted | cat >/dev/null")
read -r json_t json_m < <(best "$tool --json logs $quoted | cat >/dev/null")
read -r _ one_m < <(best "$tool --json logs '${paths[0]}' | cat >/dev/null")
total=$(cat "${paths[@]}" | wc -l)
python3 - "$files" "$lines" "$total" "$grep_t" "$filter_t" "$json_t" "$filter_m" "$json_m" "$one_m" <<'EOF'
import sys
files, lines, total = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
grep_t, filter_t, json_t = map(float, sys.argv[4:7])
filter_m, json_m, one_m = (int(v) / 1024 for v in sys.argv[7:10])
print(f"{files} files of {lines} lines ({total} lines with the banners), best of 3 runs")
print(f"filter --level 1 --category MGMT_ENV  {filter_t:8.3f} s   grep {grep_t:.3f} s   ratio {filter_t / grep_t:5.2f}x   (target <= 2x)")
print(f"--json merged stream                  {total / json_t:10.0f} lines/s   {json_t:.3f} s   (target >= 500000)")
print(f"peak resident memory                  1 file {one_m:.1f} MB, {files} files {json_m:.1f} MB (--json), "
      f"{filter_m:.1f} MB (filter)   (target < 64 MB)")
EOF
