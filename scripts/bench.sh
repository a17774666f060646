#!/usr/bin/env bash
# Runs every benchmark of the build tree. Arguments after the build folder go to each benchmark
# (for example --benchmark_min_time=0.05s for a quick run).
set -euo pipefail
build=${1:-build}
shift || true
status=0
for b in "$build"/bench/bench_*; do
    # The build also leaves bench_*_autogen folders here.
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    QT_QPA_PLATFORM=offscreen "$b" --benchmark_counters_tabular=true "$@" || status=1
done
exit $status
