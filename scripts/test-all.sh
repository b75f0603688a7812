#!/usr/bin/env bash
# Installs what is missing and runs every suite: native, ASan/UBSan, the installed
# package with a consumer, ThreadSanitizer on the stress and concurrency tests, the
# Windows build under Wine, the three packages (built from those trees, installed and
# removed), and short fuzz and benchmark smoke runs. Exits non-zero
# when any of them fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

step() { echo; echo "=== $* ==="; }

step "generated tables are current"
scripts/check-generated.sh

# The README's own build commands (a plain Release build) with warnings as errors, with
# GCC and with Clang, so that a build a consumer types cannot break unnoticed. The GCC tree
# also carries the benchmarks and is the one the later stages reuse.
step "native: plain Release build with GCC, warnings as errors"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVIX_WERROR=ON -DORVIX_BUILD_BENCH=ON >/dev/null
cmake --build build/native -j2
ctest --test-dir build/native -j2 --output-on-failure --no-tests=error

step "plain Release build with Clang, warnings as errors"
cmake -S . -B build/clang-release -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Release -DORVIX_WERROR=ON >/dev/null
cmake --build build/clang-release -j2
ctest --test-dir build/clang-release -j2 --output-on-failure --no-tests=error

step "administrative templates against the ADMX schema"
scripts/validate-admx.sh build/native/tools/orvix-env

step "installed package and consumer"
rm -rf build/install build/consumer
cmake --install build/native --prefix build/install >/dev/null
cmake -S examples/consumer -B build/consumer -G Ninja -DCMAKE_PREFIX_PATH="$root/build/install" >/dev/null
cmake --build build/consumer
build/consumer/consumer

step "asan + ubsan"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

step "thread sanitizer: the tests labelled stress or concurrency"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

step "windows under wine"
scripts/test-windows.sh

step "packages: made from the native and Windows trees, installed, upgraded, removed"
scripts/package.sh --test

step "fuzz smoke"
scripts/fuzz-smoke.sh

step "benchmark smoke"
scripts/bench-smoke.sh

echo
echo "all suites passed"
