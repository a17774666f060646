#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer (the
# `asan` preset of CMakePresets.json, in build-asan/) and runs the whole test suite under them,
# fuzz corpus replays included. Any sanitizer report fails its test and the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
start=$(date +%s)
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
built=$(date +%s)
ctest --preset asan -j "$jobs"
echo "asan: build $((built - start)) s, tests $(($(date +%s) - built)) s"
