#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer (Linux only) and UndefinedBehaviorSanitizer
# (the `asan` preset of CMakePresets.json, in build-asan/) and runs the whole test suite under
# them, fuzz corpus replays included. Any sanitizer report fails its test and the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=${JOBS:-$(nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)}
start=$(date +%s)
prefix=()
# Homebrew's Qt, libplist and Google Benchmark, as the Makefile's configure finds them.
if [ "$(uname -s)" = Darwin ] && command -v brew >/dev/null; then
    prefix=(-DCMAKE_PREFIX_PATH="$(brew --prefix)")
fi
cmake --preset asan ${prefix[@]+"${prefix[@]}"} >/dev/null
cmake --build --preset asan -j "$jobs"
built=$(date +%s)
ctest --preset asan -j "$jobs"
echo "asan: build $((built - start)) s, tests $(($(date +%s) - built)) s"
