#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer (the
# `asan` preset of CMakePresets.json, in build-asan/) and runs the whole test suite under them,
# fuzz corpus replays included. Any sanitizer report fails its test and the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
start=$(date +%s)
# ASAN_SCOPE=core: only the UI-free code and its tests (the fuzz replays included), which take
# everything from outside: tool output, property lists, file names. CI runs that half.
cmake --preset asan >/dev/null
if [ "${ASAN_SCOPE:-all}" = core ]; then
    cmake --build --preset asan -j "$jobs" --target core_checks
    built=$(date +%s)
    ctest --preset asan -j "$jobs" -LE "widgets|x11"
else
    cmake --build --preset asan -j "$jobs"
    built=$(date +%s)
    ctest --preset asan -j "$jobs"
fi
echo "asan: build $((built - start)) s, tests $(($(date +%s) - built)) s"
